#include "inbox.hpp"

#include <rapidjson/document.h>

#include "common/control_escape.hpp"
#include "helper/line_reader.hpp"

namespace vth::peer {

Message parse_message(std::string_view line) {
    rapidjson::Document document;
    // Iterative: a line of nested brackets cannot exhaust the stack.
    document.Parse<rapidjson::kParseIterativeFlag>(line.data(), line.size());
    if (document.HasParseError() || !document.IsObject()) return Message{"(not JSON)", {}, {}};
    auto text = [&](const char* key) -> std::string {
        const auto found = document.FindMember(key);
        if (found == document.MemberEnd() || !found->value.IsString()) return {};
        // Escaped like the printed line: these texts reach reports and the summary.
        return escape_controls({found->value.GetString(), found->value.GetStringLength()});
    };
    Message message{text("type"), text("action"), text("token")};
    if (message.type.empty()) message.type = "(no type)";
    return message;
}

void Inbox::add(std::string_view line) {
    Message message = parse_message(line);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    // One write per line and a flush, so a reader of the output sees whole lines at once.
    // Control characters are escaped: whoever connected may not drive the terminal.
    std::string printed = std::to_string(ms);
    printed += ' ';
    printed += escape_controls(line);
    printed += '\n';
    std::fwrite(printed.data(), 1, printed.size(), out_);
    std::fflush(out_);
    push(std::move(message));
}

std::map<std::string, std::size_t> Inbox::counts() const {
    std::map<std::string, std::size_t> counts;
    each([&](const Message& m) { ++counts[m.type]; });
    return counts;
}

void receive(ByteSource& source, Inbox& inbox) {
    LineReader lines(source);
    for (;;) {
        auto line = lines.next();
        if (!line) {
            std::fprintf(stderr, "traffic-gui-peer: connection error: %s\n",
                         line.error().text.c_str());
            break;
        }
        if (!*line) break;
        inbox.add(**line);
    }
    inbox.close();
}

}  // namespace vth::peer

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
    std::lock_guard lock(mutex_);
    // One write per line and a flush, so a reader of the output sees whole lines at once.
    // Control characters are escaped: whoever connected may not drive the terminal.
    std::string printed = std::to_string(ms);
    printed += ' ';
    printed += escape_controls(line);
    printed += '\n';
    std::fwrite(printed.data(), 1, printed.size(), out_);
    std::fflush(out_);
    messages_.push_back(std::move(message));
    changed_.notify_all();
}

void Inbox::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

std::optional<std::size_t> Inbox::wait_for(std::size_t from,
                                           const std::function<bool(const Message&)>& match,
                                           Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    std::size_t next = from;
    for (;;) {
        for (; next < messages_.size(); ++next) {
            if (match(messages_[next])) return next;
        }
        if (closed_) return std::nullopt;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
            next == messages_.size() && !closed_) {
            return std::nullopt;
        }
    }
}

Message Inbox::at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return messages_[index];
}

bool Inbox::wait_closed(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, [&] { return closed_; });
}

bool Inbox::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::map<std::string, std::size_t> Inbox::counts() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, std::size_t> counts;
    for (const auto& m : messages_) ++counts[m.type];
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

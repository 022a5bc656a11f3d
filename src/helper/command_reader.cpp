#include "helper/command_reader.hpp"

#include "common/utf8.hpp"
#include "helper/line_reader.hpp"
#include "json/command_decode.hpp"

namespace vth {

Result<OverlayCommand> decode_command_line(std::string_view raw_line) {
    if (!is_valid_utf8(raw_line)) return fail(std::string(invalid_utf8_text));
    return decode_command(raw_line);
}

Result<void> read_commands(ByteSource& source, const CommandReceiver& on_command,
                           const RejectionLog& on_rejected) {
    LineReader lines(source);
    for (;;) {
        auto line = lines.next();
        if (!line) return std::unexpected(line.error());
        if (!*line) return {};
        auto command = decode_command_line(**line);
        if (!command) {
            on_rejected(std::string(rejected_command_prefix) + command.error().text);
            continue;
        }
        if (!on_command(std::move(*command))) return {};
    }
}

}  // namespace vth

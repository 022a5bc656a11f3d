#include "helper/command_reader.hpp"

#include "common/utf8.hpp"
#include "helper/line_reader.hpp"
#include "protocol/command_decode.hpp"

namespace vth {
namespace {

// The reader validates every string and takes nothing but ASCII outside
// strings, so a line it decodes is valid UTF-8: the separate check is only
// needed to choose the error of a line it refuses.
template <typename Line>
Result<OverlayCommand> decode_checked(Line line, std::string_view bytes) {
    auto command = decode_command(line);
    if (!command && !is_valid_utf8(bytes)) return fail(std::string(invalid_utf8_text));
    return command;
}

}  // namespace

Result<OverlayCommand> decode_command_line(std::string_view raw_line) {
    return decode_checked(raw_line, raw_line);
}

Result<void> read_commands(ByteSource& source, const CommandReceiver& on_command,
                           const RejectionLog& on_rejected) {
    LineReader lines(source);
    for (;;) {
        auto line = lines.next_view();
        if (!line) return std::unexpected(line.error());
        if (!*line) return {};
        if ((*line)->too_long) {
            on_rejected(std::string(rejected_command_prefix) + lines.too_long_text());
            continue;
        }
        const std::string_view bytes = (*line)->text;
        auto command = decode_checked(json::NulTerminated{bytes}, bytes);
        if (!command) {
            on_rejected(std::string(rejected_command_prefix) + command.error().text);
            continue;
        }
        if (!on_command(std::move(*command))) return {};
    }
}

}  // namespace vth

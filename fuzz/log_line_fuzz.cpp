// Any bytes as a log message and as a dropped text's preview. A written log
// line is exactly one line: one line feed, at its end, no other control
// character, and no raw line separator or direction control; a message
// without those is written as it stands; a preview holds none of them and
// keeps its line one line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/control_escape.hpp"
#include "fuzz_checks.hpp"
#include "helper/log.hpp"
#include "helper/log_preview.hpp"

namespace {

void check_one_line(const std::string& line) {
    vth::fuzz::check(!line.empty() && line.back() == '\n', "line without its line feed");
    vth::fuzz::check(!vth::has_control(std::string_view(line).substr(0, line.size() - 1)),
                     "control character inside a line");
    vth::fuzz::check(!vth::fuzz::holds_layout_character(line),
                     "line separator or direction control inside a line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string line = vth::format_log_line(size * 2654435761u, input);
    check_one_line(line);
    if (!vth::has_control(input)) {
        vth::fuzz::check(line.ends_with(std::string(input) + "\n"), "printable message changed");
    }
    const std::string preview = vth::quoted_preview(input);
    vth::fuzz::check(!vth::has_control(preview), "control character in a preview");
    vth::fuzz::check(!vth::fuzz::holds_layout_character(preview),
                     "line separator or direction control in a preview");
    check_one_line(vth::format_log_line(
        0, "textDropped len=" + std::to_string(input.size()) + " preview=" + preview));
    return 0;
}

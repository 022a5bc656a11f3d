#pragma once
// Control characters (C0, DEL, C1) written as visible escapes, so a text that
// came from outside can neither end a log line early nor drive a terminal.
#include <string>
#include <string_view>

namespace vth {

// \n \r \t \0 for those four, \u{hex} for any other character.
void append_escaped_char(std::string& out, char32_t c);

// Whether text holds a control character (C1 in its UTF-8 form).
bool has_control(std::string_view text) noexcept;

// text with each control character escaped; every other byte, malformed
// UTF-8 included, is copied as it stands, so a printable text is unchanged.
std::string escape_controls(std::string_view text);

}  // namespace vth

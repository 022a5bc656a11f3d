#pragma once
// Control characters (C0, DEL, C1), and the characters with which a viewer
// breaks a line or turns the writing direction (U+2028, U+2029, U+202A to
// U+202E, U+2066 to U+2069), written as visible escapes: the log's backstop,
// so no text can end a log line early, drive a terminal or reorder a line.
// Received texts are escaped more widely where a message quotes them
// (received_text.hpp).
#include <string>
#include <string_view>

namespace vth {

// \n \r \t \0 for those four, \u{hex} for any other character.
void append_escaped_char(std::string& out, char32_t c);

// Whether text holds one of those characters (in its UTF-8 form).
bool has_control(std::string_view text) noexcept;

// text with each of those characters escaped; every other byte, malformed
// UTF-8 included, is copied as it stands, so a printable text is unchanged.
std::string escape_controls(std::string_view text);

}  // namespace vth

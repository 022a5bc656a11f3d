#pragma once
// Finding the address or host that a dropped text stands for. Pure functions
// over UTF-8 text; any thread may call them.
#include <optional>
#include <string>
#include <string_view>

namespace vth::drop {

// The text without NUL, U+200B, U+200C, U+200D, U+2060 and U+FEFF; every
// other byte kept in order.
std::string strip_drop_noise(std::string_view text);

// The candidate exactly as written in the text, or nothing. A result is never
// empty, never begins or ends with white space and never holds a line feed.
std::optional<std::string> extract_url_candidate(std::string_view text);

}  // namespace vth::drop

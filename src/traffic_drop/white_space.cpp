#include "traffic_drop/white_space.hpp"

#include <array>

namespace vth::drop {
namespace {

// The multi-byte White_Space characters: U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
constexpr std::array<std::string_view, 18> wide_spaces = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
};
constexpr std::string_view ideographic_space = "\xE3\x80\x80";

bool is_ascii_space(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Byte length of the white-space character that text begins with, or 0.
std::size_t leading_space(std::string_view text) noexcept {
    if (text.empty()) return 0;
    if (is_ascii_space(text.front())) return 1;
    for (std::string_view space : wide_spaces) {
        if (text.starts_with(space)) return space.size();
    }
    return text.starts_with(ideographic_space) ? ideographic_space.size() : 0;
}

// A continuation byte never starts a sequence, so matching whole encodings
// at the end agrees with decoding from the front.
std::size_t trailing_space(std::string_view text) noexcept {
    if (text.empty()) return 0;
    if (is_ascii_space(text.back())) return 1;
    for (std::string_view space : wide_spaces) {
        if (text.ends_with(space)) return space.size();
    }
    return text.ends_with(ideographic_space) ? ideographic_space.size() : 0;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) noexcept {
    while (std::size_t n = leading_space(text)) text.remove_prefix(n);
    while (std::size_t n = trailing_space(text)) text.remove_suffix(n);
    return text;
}

bool is_blank(std::string_view text) noexcept {
    return trim_white_space(text).empty();
}

}  // namespace vth::drop

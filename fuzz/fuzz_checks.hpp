#pragma once
// Shared checks of the fuzz targets: a failed check aborts, which libFuzzer
// reports with the input.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vth::fuzz {

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// Whether text holds, in its UTF-8 form, a character with which a viewer
// breaks a line or turns the writing direction: U+2028, U+2029, U+202A to
// U+202E, U+2066 to U+2069. Spelled out here, apart from the escaping.
inline bool holds_layout_character(std::string_view text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] != '\xE2') continue;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const auto third = static_cast<unsigned char>(text[i + 2]);
        if ((second == 0x80 && third >= 0xA8 && third <= 0xAE) ||
            (second == 0x81 && third >= 0xA6 && third <= 0xA9)) {
            return true;
        }
    }
    return false;
}

// An error text either has no position or one inside the input: a line that
// exists and a column no longer than that line.
inline void check_position(std::string_view input, const std::string& text) {
    const auto at = text.rfind(" at line ");
    if (at == std::string::npos) return;
    unsigned long line = 0;
    unsigned long column = 0;
    if (std::sscanf(text.c_str() + at, " at line %lu column %lu", &line, &column) != 2) return;
    std::size_t start = 0;
    for (unsigned long l = 1; l < line; ++l) {
        const auto feed = input.find('\n', start);
        check(feed != std::string_view::npos, "error line beyond the input");
        start = feed + 1;
    }
    const auto end = input.find('\n', start);
    const auto length = (end == std::string_view::npos ? input.size() : end) - start;
    check(column <= length + 1, "error column beyond its line");
}

}  // namespace vth::fuzz

#pragma once
// Shared checks of the fuzz targets: a failed check aborts, which libFuzzer
// reports with the input.
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

#pragma once
// Which code points a log line may copy as they are from a received text.
// The table comes from the Unicode data through
// tools/unicode/make_printable_table.py.
#include <algorithm>
#include <span>

namespace vth {

// Inclusive.
struct CodePointRange {
    char32_t first;
    char32_t last;
};

// Sorted, disjoint ranges of the code points a log line escapes: control,
// format, surrogate, private-use, unassigned, separators other than U+0020,
// and grapheme extenders, which would otherwise merge with the quote or the
// escape before them.
std::span<const CodePointRange> non_printable_ranges() noexcept;

inline bool is_printable(char32_t c) noexcept {
    const auto ranges = non_printable_ranges();
    // The first range that ends at or after c is the only one that can hold it.
    const auto it = std::ranges::lower_bound(ranges, c, {}, &CodePointRange::last);
    return it == ranges.end() || c < it->first;
}

}  // namespace vth

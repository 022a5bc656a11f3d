#!/usr/bin/env python3
"""Writes src/common/printable_table.cpp: the code points a log preview escapes.

A code point is escaped when its general category is Cc, Cf, Cs, Co, Cn
(unassigned), Zl, Zp, or Zs other than U+0020, or when it has the
Grapheme_Extend property. The output is a sorted array of inclusive
[first, last] ranges that the helper binary-searches.

Regenerate after installing Debian's unicode-data package (not part of the
build set-up, because the output is checked in):

    apt-get install -y unicode-data
    python3 tools/unicode/make_printable_table.py \\
        /usr/share/unicode > src/common/printable_table.cpp

The output already follows the repository's clang-format style, so a
regenerated file differs from the checked-in one only where the data does.
"""
import re
import sys
from pathlib import Path

MAX_CODE_POINT = 0x10FFFF
ESCAPED_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}
RANGES_PER_LINE = 4
TEMPLATE = """\
// Generated from Unicode @VERSION@ (Debian unicode-data) by:
//   python3 tools/unicode/make_printable_table.py /usr/share/unicode
//     > src/common/printable_table.cpp
// Do not edit; rerun the generator instead.
#include <array>
#include <cstddef>

#include "common/printable.hpp"

namespace vth {
namespace {

// Inclusive ranges of the code points a log preview escapes.
// clang-format off
constexpr std::array<CodePointRange, @COUNT@> kNonPrintable{{
@RANGES@
}};
// clang-format on

// The lookup's binary search needs ordered, disjoint ranges.
consteval bool ordered_and_disjoint() {
    for (std::size_t i = 0; i < kNonPrintable.size(); ++i) {
        if (kNonPrintable[i].first > kNonPrintable[i].last) return false;
        if (i > 0 && kNonPrintable[i - 1].last >= kNonPrintable[i].first) return false;
    }
    return true;
}
static_assert(ordered_and_disjoint());

}  // namespace

std::span<const CodePointRange> non_printable_ranges() noexcept {
    return kNonPrintable;
}

}  // namespace vth
"""


def general_categories(path):
    """One category per code point; code points UnicodeData.txt omits are Cn."""
    categories = ["Cn"] * (MAX_CODE_POINT + 1)
    range_start = None
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line.strip():
            continue
        fields = line.split(";")
        code_point, name, category = int(fields[0], 16), fields[1], fields[2]
        # Large blocks appear as a "<..., First>" line followed by "<..., Last>".
        if name.endswith(", First>"):
            range_start = code_point
            continue
        if name.endswith(", Last>"):
            if range_start is None:
                sys.exit(f"range end without start at {code_point:04X}")
            for c in range(range_start, code_point + 1):
                categories[c] = category
            range_start = None
            continue
        categories[code_point] = category
    if range_start is not None:
        sys.exit(f"range start without end at {range_start:04X}")
    return categories


def grapheme_extend(path):
    """The code points with Grapheme_Extend, and the Unicode version of the file."""
    text = path.read_text(encoding="utf-8")
    version = re.match(r"# DerivedCoreProperties-(\d+\.\d+\.\d+)\.txt", text)
    if not version:
        sys.exit(f"no version line in {path}")
    points = set()
    for line in text.splitlines():
        data = line.split("#", 1)[0].strip()
        if not data:
            continue
        span, prop = (part.strip() for part in data.split(";"))
        if prop != "Grapheme_Extend":
            continue
        first, _, last = span.partition("..")
        points.update(range(int(first, 16), int(last or first, 16) + 1))
    if not points:
        sys.exit(f"no Grapheme_Extend entries in {path}")
    return points, version.group(1)


def escaped_ranges(categories, extend):
    ranges = []
    for c in range(MAX_CODE_POINT + 1):
        category = categories[c]
        escaped = c in extend or (category in ESCAPED_CATEGORIES and c != 0x20)
        if not escaped:
            continue
        if ranges and ranges[-1][1] == c - 1:
            ranges[-1][1] = c
        else:
            ranges.append([c, c])
    return ranges


def render(ranges, version):
    rows = []
    for i in range(0, len(ranges), RANGES_PER_LINE):
        chunk = ranges[i:i + RANGES_PER_LINE]
        rows.append("    " + " ".join(f"{{0x{a:X}, 0x{b:X}}}," for a, b in chunk))
    body = "\n".join(rows)
    return (TEMPLATE.replace("@VERSION@", version)
            .replace("@COUNT@", str(len(ranges))).replace("@RANGES@", body))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_printable_table.py UNICODE_DATA_DIR > printable_table.cpp")
    directory = Path(sys.argv[1])
    categories = general_categories(directory / "UnicodeData.txt")
    extend, version = grapheme_extend(directory / "DerivedCoreProperties.txt")
    sys.stdout.write(render(escaped_ranges(categories, extend), version))


if __name__ == "__main__":
    main()

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "common/error.hpp"
#include "common/integrity.hpp"
#include "helper/log.hpp"

namespace vth {
namespace {

TEST(LogLine, HasFileTimeStampThenMessage) {
    struct Row {
        std::uint64_t time;
        std::string message;
        std::string line;
    };
    const Row rows[] = {
        {0, "", "SystemTime { intervals: 0 } \n"},
        {134000000000000000ULL, "addFromClipboard",
         "SystemTime { intervals: 134000000000000000 } addFromClipboard\n"},
        {18446744073709551615ULL, "textDropped len=4 preview=\"дом\"",
         "SystemTime { intervals: 18446744073709551615 } textDropped len=4 preview=\"дом\"\n"},
        {7, std::string("a\nSystemTime { intervals: 1 } b\r\0c\x1b[2J\x7f\u0085\u00a0\\n", 45),
         "SystemTime { intervals: 7 } a\\nSystemTime { intervals: 1 } "
         "b\\r\\0c\\u{1b}[2J\\u{7f}\\u{85}\u00a0\\n\n"},
        {7, "\xc2", "SystemTime { intervals: 7 } \xc2\n"},
        // Line and paragraph separators and direction controls are escaped,
        // their neighbours (U+2027, U+202F, U+2065, U+206A) and "…" are not.
        {7, "a\u2028b\u2029c\u202a\u202ed\u2066\u2069\u2027\u202f\u2065\u206a\u2026",
         "SystemTime { intervals: 7 } a\\u{2028}b\\u{2029}c\\u{202a}\\u{202e}d\\u{2066}"
         "\\u{2069}\u2027\u202f\u2065\u206a\u2026\n"},
        {7, "\xe2\x80", "SystemTime { intervals: 7 } \xe2\x80\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(format_log_line(row.time, row.message), row.line);
}

TEST(OsErrorText, TrimsTrailingWhiteSpaceAndAppendsCode) {
    EXPECT_EQ(os_error_text("The system cannot find the file specified.\r\n", 2),
              "The system cannot find the file specified. (os error 2)");
    EXPECT_EQ(os_error_text("", 5), " (os error 5)");
    EXPECT_EQ(os_error_text("Access is denied. \t", 5), "Access is denied. (os error 5)");
}

TEST(IntegrityName, MapsRidBoundsAndElevation) {
    const std::tuple<std::uint32_t, std::string_view, bool> rows[] = {
        {0x0000, "untrusted", false}, {0x0fff, "untrusted", false}, {0x1000, "low", false},
        {0x1fff, "low", false},       {0x2000, "medium", false},    {0x2100, "medium", false},
        {0x3000, "high", true},       {0x3fff, "high", true},       {0x4000, "system", true},
        {0x4fff, "system", true},     {0x5000, "unknown", false},   {0xffffffff, "unknown", false},
    };
    for (auto [rid, name, elevated] : rows) {
        EXPECT_EQ(integrity_name(rid), name) << "rid " << rid;
        EXPECT_EQ(is_elevated(integrity_name(rid)), elevated) << "rid " << rid;
    }
}

}  // namespace
}  // namespace vth

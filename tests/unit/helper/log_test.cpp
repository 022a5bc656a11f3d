#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/error.hpp"
#include "helper/integrity.hpp"
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
    };
    for (const auto& row : rows) EXPECT_EQ(format_log_line(row.time, row.message), row.line);
}

TEST(OsErrorText, TrimsTrailingWhiteSpaceAndAppendsCode) {
    EXPECT_EQ(os_error_text("The system cannot find the file specified.\r\n", 2),
              "The system cannot find the file specified. (os error 2)");
    EXPECT_EQ(os_error_text("", 5), " (os error 5)");
    EXPECT_EQ(os_error_text("Access is denied. \t", 5), "Access is denied. (os error 5)");
}

TEST(IntegrityName, MapsRidBounds) {
    const std::pair<std::uint32_t, std::string_view> rows[] = {
        {0x0000, "untrusted"}, {0x0fff, "untrusted"}, {0x1000, "low"},     {0x1fff, "low"},
        {0x2000, "medium"},    {0x2100, "medium"},    {0x3000, "high"},    {0x3fff, "high"},
        {0x4000, "system"},    {0x4fff, "system"},    {0x5000, "unknown"}, {0xffffffff, "unknown"},
    };
    for (auto [rid, name] : rows) EXPECT_EQ(integrity_name(rid), name) << "rid " << rid;
}

}  // namespace
}  // namespace vth

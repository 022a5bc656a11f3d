#include <windows.h>

#include <gtest/gtest.h>

#include "helper/log.hpp"
#include "support/local_app_data.hpp"

namespace vth {
namespace {

// A read-only file cannot be tested here: Wine running as root writes to it
// anyway. A file held open without sharing fails the same open call.
TEST(LogFileWindows, LockedFileWithoutSharingLosesTheLine) {
    test::LocalAppData data;
    std::filesystem::create_directories(data.file("").parent_path());
    auto log = data.file("traffic-helper.log");
    HANDLE exclusive = CreateFileW(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    append_log("lost");
    CloseHandle(exclusive);
    EXPECT_EQ(data.read("traffic-helper.log"), "");
}

}  // namespace
}  // namespace vth

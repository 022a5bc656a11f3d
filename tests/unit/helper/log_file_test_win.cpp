#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "helper/log.hpp"

namespace vth {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A read-only file cannot be tested here: Wine running as root writes to it
// anyway. A file held open without sharing fails the same open call.
TEST(LogFileWindows, LockedFileWithoutSharingLosesTheLine) {
    fs::path root = fs::temp_directory_path() / "vth-log-locked";
    fs::remove_all(root);
    fs::create_directories(root / "Vestrilon");
    fs::path log = root / "Vestrilon" / "traffic-helper.log";
    SetEnvironmentVariableW(L"LOCALAPPDATA", root.c_str());
    HANDLE exclusive = CreateFileW(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    append_log("lost");
    CloseHandle(exclusive);
    EXPECT_EQ(read_all(log), "");
    fs::remove_all(root);
}

}  // namespace
}  // namespace vth

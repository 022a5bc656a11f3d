#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "helper/log.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vth {
namespace {

namespace fs = std::filesystem;

void set_local_app_data(const fs::path& dir) {
#ifdef _WIN32
    SetEnvironmentVariableW(L"LOCALAPPDATA", dir.wstring().c_str());
#else
    setenv("LOCALAPPDATA", dir.c_str(), 1);
#endif
}

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The message part of every line, checking the time stamp form on the way.
std::vector<std::string> messages(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::string head = "SystemTime { intervals: ";
        EXPECT_TRUE(line.starts_with(head)) << line;
        auto close = line.find(" } ");
        EXPECT_NE(close, std::string::npos) << line;
        out.push_back(line.substr(close + 3));
    }
    return out;
}

class LogFile : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("vth-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        set_local_app_data(root_ / "nested" / "AppData");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(log_path(), fs::perms::owner_all, ignored);
        fs::remove_all(root_, ignored);
    }
    fs::path log_path() const {
        return root_ / "nested" / "AppData" / "Vestrilon" / "traffic-helper.log";
    }
    fs::path root_;
};

TEST_F(LogFile, FirstLineCreatesDirectoriesAndLinesAppendInOrder) {
    append_log("first run line");
    append_log("second run line with preview \"дом\" and \xF0\x9F\x8C\x8D");
    std::string text = read_all(log_path());
    EXPECT_EQ(messages(text),
              (std::vector<std::string>{
                  "first run line", "second run line with preview \"дом\" and \xF0\x9F\x8C\x8D"}));
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(LogFile, ExistingContentIsNeverTruncated) {
    fs::create_directories(log_path().parent_path());
    std::ofstream(log_path(), std::ios::binary) << "earlier run\n";
    append_log("later run");
    EXPECT_TRUE(read_all(log_path()).starts_with("earlier run\nSystemTime { intervals: "));
}

TEST_F(LogFile, DirectoryThatCannotBeCreatedLosesTheLineQuietly) {
    // A plain file where the data directory should be.
    fs::create_directories(root_ / "nested" / "AppData");
    std::ofstream(root_ / "nested" / "AppData" / "Vestrilon") << "in the way";
    append_log("lost");
    EXPECT_EQ(read_all(root_ / "nested" / "AppData" / "Vestrilon"), "in the way");
}

}  // namespace
}  // namespace vth

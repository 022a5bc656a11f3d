#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "helper/log.hpp"
#include "support/local_app_data.hpp"

namespace vth {
namespace {

namespace fs = std::filesystem;

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
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(log_path(), fs::perms::owner_all, ignored);
    }
    fs::path log_path() const { return data_.file("traffic-helper.log"); }
    std::string read_all(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    test::LocalAppData data_{true, "nested/AppData"};
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

TEST_F(LogFile, TimeStampIsTheSystemClockWhenWritten) {
    // 100 ns intervals since 1601-01-01, as Windows counts file times.
    auto file_time_now = [] {
        auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
        return 116444736000000000LL +
               std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100;
    };
    const std::int64_t two_seconds = 20000000;
    const std::int64_t before = file_time_now();
    append_log("stamped");
    const std::int64_t after = file_time_now();
    const std::string line = read_all(log_path());
    const std::string head = "SystemTime { intervals: ";
    ASSERT_TRUE(line.starts_with(head)) << line;
    const std::int64_t stamp = std::stoll(line.substr(head.size()));
    EXPECT_GE(stamp, before - two_seconds) << line;
    EXPECT_LE(stamp, after + two_seconds) << line;
}

TEST_F(LogFile, RenamedOrDeletedLogIsStartedAfresh) {
    append_log("first");
    const fs::path renamed = log_path().parent_path() / "traffic-helper.old.log";
    fs::rename(log_path(), renamed);
    append_log("after the rename");
    EXPECT_EQ(messages(read_all(renamed)), std::vector<std::string>{"first"});
    EXPECT_EQ(messages(read_all(log_path())), std::vector<std::string>{"after the rename"});
    fs::remove(log_path());
    append_log("after the deletion");
    EXPECT_EQ(messages(read_all(log_path())), std::vector<std::string>{"after the deletion"});
}

TEST_F(LogFile, DirectoryThatCannotBeCreatedLosesTheLineQuietly) {
    // A plain file where the data directory should be.
    fs::create_directories(data_.value());
    std::ofstream(data_.value() / "Vestrilon") << "in the way";
    append_log("lost");
    EXPECT_EQ(read_all(data_.value() / "Vestrilon"), "in the way");
}

}  // namespace
}  // namespace vth

#include "helper/startup.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace vth {
namespace {

using namespace std::chrono_literals;

constexpr const char* valid_config =
    R"({"host":"127.0.0.1","port":5000,"token":"abc","x":1,"y":2,"gui_pid":77})";
constexpr long not_found = 2;
constexpr long access_denied = 5;

// A simulated start-up: each read of the file takes the next scripted answer
// (the last one repeats), sleeps advance a fake clock.
struct Script {
    std::deque<Result<std::string>> reads;
    std::chrono::steady_clock::time_point clock{};
    std::vector<std::string> log;
    std::optional<std::string> path = "C:\\data\\Vestrilon\\traffic-helper.json";

    StartupServices services() {
        return StartupServices{
            .config_path = [this] { return path; },
            .read_file =
                [this](const std::string&) {
                    auto answer = reads.front();
                    if (reads.size() > 1) reads.pop_front();
                    return answer;
                },
            .is_not_found = [](long code) { return code == not_found; },
            .is_locked = [](long code) { return code == 32 || code == 33; },
            .now = [this] { return clock; },
            .sleep = [this](std::chrono::milliseconds d) { clock += d; },
            .log = [this](std::string_view m) { log.emplace_back(m); },
            .integrity = [] { return std::string("medium"); },
            .process_id = [] { return 1234u; },
            .build_id = "abc1234",
        };
    }
};

Result<std::string> missing() {
    return fail("The system cannot find the file specified. (os error 2)", not_found);
}

// Held without sharing (32) or with a byte range locked (33).
Result<std::string> locked(long code) {
    return fail("locked (os error " + std::to_string(code) + ")", code);
}

std::size_t count(const std::vector<std::string>& log, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& line : log) n += line.starts_with(prefix) ? 1u : 0u;
    return n;
}

TEST(StartUp, Outcomes) {
    const std::string start_line =
        "starting helper build=abc1234 pid=1234 integrity=medium gui_pid=77";
    struct Row {
        const char* name;
        std::vector<Result<std::string>> reads;  // the last one repeats
        std::string error;                       // empty: start-up succeeds
        std::size_t missing_lines;
        std::size_t retry_lines;
        std::size_t locked_lines = 0;
    };
    std::vector<Row> rows = {
        {"present at once", {std::string(valid_config)}, "", 0, 0},
        // 1 s of absence is 13 reads 80 ms apart (0, 80, ..., 960 ms).
        {"appears after one second",
         {missing(), missing(), missing(), missing(), missing(), missing(), missing(), missing(),
          missing(), missing(), missing(), missing(), missing(), std::string(valid_config)},
         "",
         13,
         0},
        {"never appears",
         {missing()},
         "The system cannot find the file specified. (os error 2)",
         50,
         0},
        {"access denied is not retried",
         {fail("Access is denied. (os error 5)", access_denied)},
         "Access is denied. (os error 5)",
         0,
         0},
        {"half-written then complete",
         {std::string(R"({"host":"127.0.0.1",)"), std::string(valid_config)},
         "",
         0,
         1},
        {"localhost refused",
         {std::string(R"({"host":"localhost","port":1,"token":"","x":0,"y":0,"gui_pid":0})")},
         "traffic helper endpoint must be loopback",
         0,
         0},
        {"ipv6 loopback refused",
         {std::string(R"({"host":"::1","port":1,"token":"","x":0,"y":0,"gui_pid":0})")},
         "traffic helper endpoint must be loopback",
         0,
         0},
        {"missing gui_pid retried until the deadline",
         {std::string(R"({"host":"127.0.0.1","port":1,"token":"","x":0,"y":0})")},
         "missing field `gui_pid` at line 1 column 52",
         0,
         50},
        {"locked, then missing, then present",
         {locked(32), locked(33), missing(), std::string(valid_config)},
         "",
         1,
         0,
         2},
        {"locked until the deadline", {locked(33)}, "locked (os error 33)", 0, 0, 50},
    };
    for (auto& row : rows) {
        Script script;
        script.reads.assign(row.reads.begin(), row.reads.end());
        auto started = start_up(script.services());
        SCOPED_TRACE(row.name);
        if (row.error.empty()) {
            ASSERT_TRUE(started.has_value()) << started.error().text;
            EXPECT_EQ(started->config.port, 5000);
            EXPECT_EQ(started->integrity, "medium");
            EXPECT_EQ(script.log.back(), start_line);
        } else {
            ASSERT_FALSE(started.has_value());
            EXPECT_EQ(started.error().text, row.error);
            EXPECT_EQ(count(script.log, "starting helper"), 0u);
        }
        EXPECT_EQ(count(script.log, "config missing; waiting for GUI to write traffic-helper.json"),
                  row.missing_lines);
        EXPECT_EQ(count(script.log, "config parse retry: "), row.retry_lines);
        EXPECT_EQ(count(script.log,
                        "config locked by another program; waiting for it to release "
                        "traffic-helper.json"),
                  row.locked_lines);
    }
}

TEST(StartUp, RetryLinesCarryTheDecoderText) {
    Script script;
    script.reads = {std::string("{\"host\":"), std::string(valid_config)};
    ASSERT_TRUE(start_up(script.services()).has_value());
    ASSERT_EQ(script.log.size(), 2u);
    EXPECT_EQ(script.log[0], "config parse retry: EOF while parsing a value at line 1 column 8");
}

TEST(StartUp, WithoutLocalAppDataNothingIsReadOrLogged) {
    Script script;
    script.path.reset();
    script.reads = {std::string(valid_config)};
    auto started = start_up(script.services());
    ASSERT_FALSE(started.has_value());
    EXPECT_EQ(started.error().text, "LOCALAPPDATA is unavailable");
    EXPECT_TRUE(script.log.empty());
}

}  // namespace
}  // namespace vth

// The client library against the native helper build and a misbehaving
// stand-in (fake_helper.py), through the C functions a GUI calls.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "vestrilon/traffic_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Seen {
    int kind;
    std::string text;
};

class ClientNativeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vtc-native-XXXXXX";
        root_ = mkdtemp(pattern);
        data_ = root_ / "Vestrilon";
        fs::create_directories(data_);
    }
    void TearDown() override {
        vtc_stop(client_, 0);
        fs::remove_all(root_);
    }

    void start(const char* helper, const char* mode, vtc_options extra = {}) {
        setenv("VTC_FAKE_MODE", mode, 1);
        setenv("VTC_REAL_HELPER", VTH_HELPER_PATH, 1);
        vtc_options options = extra;
        options.size = sizeof options;
        options.helper_path = helper;
        options.data_dir = data_dir_.assign(data_.string()).c_str();
        options.x = options.y = 40;
        ASSERT_EQ(vtc_start(&options, &client_), VTC_OK) << vtc_last_error(nullptr);
    }

    // Events until one of kind arrives (true) or timeout passes.
    bool wait_for(int kind, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            pollfd p{static_cast<int>(vtc_event_handle(client_)), POLLIN, 0};
            poll(&p, 1, 50);
            vtc_event e{};
            e.size = sizeof e;
            while (vtc_next_event(client_, &e) == VTC_OK) {
                seen_.push_back({e.kind, std::string(e.text, e.text_length)});
                if (e.kind == kind) return true;
            }
        }
        return false;
    }
    int count(int kind) const {
        return static_cast<int>(std::ranges::count(seen_, kind, &Seen::kind));
    }
    std::string read(const fs::path& path) const {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Waits until the file holds text.
    bool file_holds(const fs::path& path, const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (read(path).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    fs::path root_;
    fs::path data_;
    std::string data_dir_;
    vtc_client* client_ = nullptr;
    std::vector<Seen> seen_;
};

bool gone(pid_t pid) {
    if (kill(pid, 0) != 0) return true;
    // A zombie has ended; only its parent's reaping is left.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

bool ends_within(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!gone(pid)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

TEST_F(ClientNativeTest, CallsRefuseWhatCannotWorkWithAStatusAndAText) {
    const std::string dir = data_.string();
    const std::string other = (root_ / "Elsewhere").string();
    struct Row {
        const char* what;
        const char* helper;
        const char* data_dir;
        std::size_t size;
        vtc_status status;
    };
    const Row rows[] = {
        {"relative helper", "vestrilon-traffic-helper", dir.c_str(), sizeof(vtc_options),
         VTC_INVALID_ARGUMENT},
        {"folder not named Vestrilon", VTH_HELPER_PATH, other.c_str(), sizeof(vtc_options),
         VTC_INVALID_ARGUMENT},
        {"size too small", VTH_HELPER_PATH, dir.c_str(), sizeof(std::size_t), VTC_INVALID_ARGUMENT},
        {"missing helper", "/nonexistent/vestrilon-traffic-helper", dir.c_str(),
         sizeof(vtc_options), VTC_HELPER_FAILED},
    };
    for (const Row& row : rows) {
        vtc_options options{};
        options.size = row.size;
        options.helper_path = row.helper;
        options.data_dir = row.data_dir;
        vtc_client* client = reinterpret_cast<vtc_client*>(&options);
        EXPECT_EQ(vtc_start(&options, &client), row.status) << row.what;
        EXPECT_EQ(client, nullptr) << row.what;
        EXPECT_STRNE(vtc_last_error(nullptr), "") << row.what;
    }
    EXPECT_FALSE(fs::exists(data_ / "traffic-helper.json")) << "a configuration nobody reads";
    EXPECT_EQ(vtc_start(nullptr, &client_), VTC_INVALID_ARGUMENT);
    auto ignore = [](void*, const char*, size_t) {};
    EXPECT_EQ(vtc_drain_inbox(dir.c_str(), 7, ignore, nullptr), VTC_INVALID_ARGUMENT);
    vtc_version version{};
    version.size = sizeof version;
    EXPECT_EQ(vtc_helper_version(VTH_HELPER_PATH, &version), VTC_UNSUPPORTED);
    EXPECT_EQ(vtc_stop(nullptr, 0), VTC_OK);
}

TEST_F(ClientNativeTest, ImpostorWithAWrongTokenIsClosedAndTheRealHelperAccepted) {
    start(FAKE_HELPER_PATH, "impostor");
    ASSERT_TRUE(wait_for(VTC_EVENT_CONNECTED, 30s));
    EXPECT_EQ(read(data_ / "impostor.txt"), "closed");
    EXPECT_FALSE(fs::exists(data_ / "traffic-helper.json"))
        << "the configuration outlived the hello";
    ASSERT_EQ(vtc_stop(std::exchange(client_, nullptr), 5000), VTC_OK);
    EXPECT_TRUE(read(data_ / "traffic-helper.log").ends_with("traffic helper received shutdown\n"));
}

TEST_F(ClientNativeTest, HelperEndsWithinThreeSecondsOfTheGuiBeingKilled) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t gui = fork();
    if (gui == 0) {
        vtc_options options{};
        options.size = sizeof options;
        options.helper_path = VTH_HELPER_PATH;
        const std::string dir = data_.string();
        options.data_dir = dir.c_str();
        vtc_client* client = nullptr;
        if (vtc_start(&options, &client) != VTC_OK) _exit(1);
        for (;;) {
            vtc_event e{};
            e.size = sizeof e;
            if (vtc_next_event(client, &e) == VTC_OK && e.kind == VTC_EVENT_CONNECTED) break;
            usleep(10000);
        }
        (void)!write(ready[1], "c", 1);
        pause();
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::smatch found;
    const std::string log = read(data_ / "traffic-helper.log");
    ASSERT_TRUE(
        std::regex_search(log, found, std::regex(R"(starting helper build=\S+ pid=(\d+))")));
    const pid_t helper = std::stoi(found[1]);
    kill(gui, SIGKILL);
    waitpid(gui, nullptr, 0);
    EXPECT_TRUE(ends_within(helper, 3s));
}

TEST_F(ClientNativeTest, KilledHelperComesBackWithContentVisibilityAndTheDraggedPlace) {
    vtc_options quick{};
    quick.restart_delay_ms = 100;
    start(FAKE_HELPER_PATH, "record", quick);
    ASSERT_TRUE(wait_for(VTC_EVENT_CONNECTED, 20s));
    ASSERT_TRUE(wait_for(VTC_EVENT_ACTION, 10s));  // the user's drag to 77,88
    vtc_set_visible(client_, 0);
    vtc_sample samples[] = {{0, 1, 2}, {1, 3, 4}};
    vtc_content content{sizeof content, "kept", "sub", nullptr, 0, 0, samples, 2};
    vtc_update_content(client_, &content);
    vtc_set_position(client_, 5, 6);  // the user's place wins
    ASSERT_TRUE(file_holds(data_ / "received-1.jsonl", R"("title":"kept")", 10s));

    kill(std::stoi(read(data_ / "pid-1")), SIGKILL);
    ASSERT_TRUE(wait_for(VTC_EVENT_CONNECTED, 20s));
    EXPECT_EQ(count(VTC_EVENT_EXITED), 1);
    EXPECT_EQ(count(VTC_EVENT_RESTARTING), 1);
    ASSERT_TRUE(file_holds(data_ / "received-2.jsonl", R"("title":"kept")", 10s));
    const std::string second = read(data_ / "received-2.jsonl");
    EXPECT_NE(second.find(R"("x":77,"y":88)"), std::string::npos) << second;
    EXPECT_NE(second.find(R"({"type":"setVisible","visible":false})"), std::string::npos) << second;
    EXPECT_EQ(second.find("setPosition"), std::string::npos) << second;
}

TEST_F(ClientNativeTest, HelperDyingAtOnceEveryTimeEndsInGaveUp) {
    vtc_options quick{};
    quick.restart_delay_ms = 50;
    quick.restarts_per_minute = 3;
    start(FAKE_HELPER_PATH, "die", quick);
    ASSERT_TRUE(wait_for(VTC_EVENT_GAVE_UP, 15s));
    EXPECT_EQ(count(VTC_EVENT_RESTARTING), 3);
    EXPECT_EQ(count(VTC_EVENT_EXITED), 4);
    EXPECT_EQ(count(VTC_EVENT_CONNECTED), 0);
}

TEST_F(ClientNativeTest, StopWithAHelperThatNoLongerReadsEndsWithinGracePlusOneSecond) {
    start(FAKE_HELPER_PATH, "deaf");
    ASSERT_TRUE(wait_for(VTC_EVENT_CONNECTED, 20s));
    // Megabytes the helper never takes: the sending thread is stuck in a write.
    std::vector<vtc_sample> samples(500000, vtc_sample{1.5, 2.5, 3.5});
    vtc_content content{sizeof content, "big", "", nullptr, 0, 0, samples.data(), samples.size()};
    vtc_update_content(client_, &content);
    std::this_thread::sleep_for(300ms);
    const pid_t helper = std::stoi(read(data_ / "pid-1"));
    const auto before = Clock::now();
    ASSERT_EQ(vtc_stop(std::exchange(client_, nullptr), 1000), VTC_OK);
    EXPECT_LT(Clock::now() - before, 2s);
    EXPECT_TRUE(ends_within(helper, 0ms));
}

}  // namespace

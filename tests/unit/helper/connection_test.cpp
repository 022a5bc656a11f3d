#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <span>
#include <sstream>

#include "fake_overlay_control.hpp"
#include "helper/connection.hpp"

namespace vth {
namespace {

using namespace std::chrono_literals;
using test::FakeOverlayControl;
using test::FakeSocket;

// Set-up with fake overlay, socket and thread start on a fake clock. The
// reader body runs at once on the test's thread, so every command line the
// GUI sent is queued before the main loop starts.
struct SetupHarness {
    SetupHarness() {
        config = HelperConfig{"127.0.0.1", 4242, "tok\"en", -50, 30, 777};
        services.clamp = [this](ScreenPoint p) { return clamp(p); };
        services.create_overlay = [this](ScreenPoint p) -> std::unique_ptr<OverlayControl> {
            journal->push_back("create " + std::to_string(p.x) + "," + std::to_string(p.y));
            if (!overlay_created) return nullptr;
            auto overlay = std::make_unique<FakeOverlayControl>(journal);
            overlay->registered_after = registered_after;
            overlay->never_registered = never_registered;
            overlay->position = overlay_position;
            return overlay;
        };
        services.connect = [this](const std::string& host,
                                  std::uint16_t port) -> Result<std::unique_ptr<SocketStream>> {
            journal->push_back("connect " + host + ":" + std::to_string(port));
            if (refuse)
                return fail(
                    "No connection could be made because the target machine actively refused it. "
                    "(os error 10061)",
                    10061);
            auto socket = std::make_unique<FakeSocket>(journal, "stream");
            socket->incoming_for_reader = gui_lines;
            socket->reader_throws_when_drained = reader_throws;
            socket->failing_step = failing_step;
            socket->writes_before_failure = writes_before_failure;
            socket->copy_to = sent;
            stream = socket.get();
            return socket;
        };
        services.start_reader = [this](std::move_only_function<void()> body) -> Result<void> {
            if (!reader_starts) return fail("Not enough resources. (os error 8)", 8);
            body();
            return {};
        };
        services.loop.now = [this] { return clock; };
        services.loop.sleep = [this](std::chrono::milliseconds d) { clock += d; };
        services.loop.log = [this](std::string_view line) { log.emplace_back(line); };
        services.loop.log_last = services.loop.log;
        services.loop.enqueue_toggle_vpn = [] {};
    }

    Result<void> run() { return run_connection(config, "Medium", services); }

    std::function<ScreenPoint(ScreenPoint)> clamp = [](ScreenPoint p) {
        return ScreenPoint{std::max(p.x, 0), p.y};
    };
    test::Journal journal = std::make_shared<std::vector<std::string>>();
    HelperConfig config;
    ConnectionServices services;
    std::chrono::steady_clock::time_point clock{std::chrono::hours(1)};
    std::vector<std::string> log;
    bool overlay_created = true;
    int registered_after = 0;
    bool never_registered = false;
    std::optional<ScreenPoint> overlay_position = ScreenPoint{0, 30};
    bool refuse = false;
    bool reader_starts = true;
    bool reader_throws = false;
    std::string failing_step;
    int writes_before_failure = -1;
    std::string gui_lines = "{\"type\":\"shutdown\"}\n";
    FakeSocket* stream = nullptr;
    std::shared_ptr<std::string> sent = std::make_shared<std::string>();
};

TEST(ConnectionSetup, HelloStateAndTheLogLinesOfAWholeRun) {
    SetupHarness h;
    h.registered_after = 3;
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.log, (std::vector<std::string>{
                         "overlay position clamped from=-50,30 to=0,30",
                         "overlay created integrity=Medium ole_registration=success x=0 y=30 "
                         "size=208x132",
                         "hello sent integrity=Medium ole_registered=true gui_pid=777",
                         "traffic helper received shutdown"}));
    EXPECT_EQ(*h.journal,
              (std::vector<std::string>{"create 0,30", "connect 127.0.0.1:4242", "no-delay",
                                        "write timeout 2000", "duplicate", "reader stream closed",
                                        "stream closed", "overlay destroyed"}));
    EXPECT_EQ(h.clock - std::chrono::steady_clock::time_point{std::chrono::hours(1)}, 60ms);
}

TEST(ConnectionSetup, HelloBytesAndTheFirstStateFollowAtOnce) {
    SetupHarness h;
    h.gui_lines = "";  // the GUI stays silent: the loop ends at the first failed write
    h.writes_before_failure = 2;
    auto result = h.run();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().os_code, 10054);
    EXPECT_EQ(*h.sent,
              "{\"type\":\"hello\",\"token\":\"tok\\\"en\",\"integrity\":\"Medium\","
              "\"oleRegistered\":true}\n"
              "{\"type\":\"state\",\"hovering\":false,\"interacting\":false,\"x\":0,\"y\":30}\n");
}

TEST(ConnectionSetup, RegistrationThatNeverCompletesIsWaitedForTwoSeconds) {
    SetupHarness h;
    h.never_registered = true;
    h.overlay_position = std::nullopt;
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.log[1],
              "overlay created integrity=Medium ole_registration=failed x=0 y=30 size=208x132");
    EXPECT_EQ(h.log[2], "hello sent integrity=Medium ole_registered=false gui_pid=777");
    EXPECT_GE(h.clock - std::chrono::steady_clock::time_point{std::chrono::hours(1)}, 2s);
    EXPECT_LT(h.clock - std::chrono::steady_clock::time_point{std::chrono::hours(1)}, 2100ms);
}

TEST(ConnectionSetup, EachFailingStepEndsWithItsErrorAndNothingLeftOpen) {
    struct Row {
        const char* name;
        std::function<void(SetupHarness&)> arrange;
        std::string error;
        std::vector<std::string> journal_tail;
    };
    const std::vector<Row> rows = {
        {"overlay thread not started",
         [](SetupHarness& h) { h.overlay_created = false; },
         "could not create overlay HWND",
         {"create 0,30"}},
        {"connection refused",
         [](SetupHarness& h) { h.refuse = true; },
         "No connection could be made because the target machine actively refused it. (os error "
         "10061)",
         {"connect 127.0.0.1:4242", "overlay destroyed"}},
        {"no-delay",
         [](SetupHarness& h) { h.failing_step = "no-delay"; },
         "The operation failed. (os error 10022)",
         {"no-delay", "stream closed", "overlay destroyed"}},
        {"write timeout",
         [](SetupHarness& h) { h.failing_step = "write timeout"; },
         "The operation failed. (os error 10022)",
         {"write timeout 2000", "stream closed", "overlay destroyed"}},
        {"duplicate",
         [](SetupHarness& h) { h.failing_step = "duplicate"; },
         "The operation failed. (os error 10022)",
         {"duplicate", "stream closed", "overlay destroyed"}},
        {"hello not written",
         [](SetupHarness& h) { h.writes_before_failure = 0; },
         "An existing connection was forcibly closed by the remote host. (os error 10054)",
         {"duplicate", "reader stream closed", "stream closed", "overlay destroyed"}},
        {"reader thread not started",
         [](SetupHarness& h) { h.reader_starts = false; },
         "Not enough resources. (os error 8)",
         {"duplicate", "reader stream closed", "stream closed", "overlay destroyed"}},
        // The reading side ends as at a read error; the main loop goes on until a write fails.
        {"reader thread throws, later a write fails",
         [](SetupHarness& h) {
             h.gui_lines = "{\"type\":\"setVisible\",\"visible\":false}\n";
             h.reader_throws = true;
             h.writes_before_failure = 3;
         },
         "An existing connection was forcibly closed by the remote host. (os error 10054)",
         {"duplicate", "reader stream closed", "set_visible false", "stream closed",
          "overlay destroyed"}},
    };
    for (const auto& row : rows) {
        SetupHarness h;
        row.arrange(h);
        auto result = h.run();
        ASSERT_FALSE(result) << row.name;
        EXPECT_EQ(result.error().text, row.error) << row.name;
        ASSERT_GE(h.journal->size(), row.journal_tail.size()) << row.name;
        std::vector<std::string> tail(h.journal->end() - static_cast<long>(row.journal_tail.size()),
                                      h.journal->end());
        EXPECT_EQ(tail, row.journal_tail) << row.name;
    }
}

TEST(ConnectionReader, RejectedLinesAreLoggedAndTheNextCommandApplies) {
    SetupHarness h;
    h.gui_lines = std::string("garbage\n") + "\xff\xfe{}\n" +
                  "{\"type\":\"setVisible\",\"visible\":false}\n" + "{\"type\":\"shutdown\"}\n" +
                  "{\"type\":\"setVisible\",\"visible\":true}\n";
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.log[3], "rejected invalid helper command: expected value at line 1 column 1");
    EXPECT_EQ(h.log[4], "rejected invalid helper command: stream did not contain valid UTF-8");
    EXPECT_EQ(h.log[5], "traffic helper received shutdown");
    EXPECT_NE(std::find(h.journal->begin(), h.journal->end(), "set_visible false"),
              h.journal->end());
    EXPECT_EQ(std::find(h.journal->begin(), h.journal->end(), "set_visible true"),
              h.journal->end());
}

// A source that hands out its bytes, then throws as a failed allocation
// would; it reports whether the sending end was still open when it closed.
class ThrowingSource : public ByteSource {
  public:
    ThrowingSource(std::string bytes, const Receiver<OverlayCommand>& commands, bool& sender_open)
        : bytes_(std::move(bytes)), commands_(commands), sender_open_(sender_open) {}
    ~ThrowingSource() override { sender_open_ = commands_.sender_alive(); }

    Result<std::size_t> read(std::span<char> buffer) override {
        if (bytes_.empty()) throw std::bad_alloc();
        const std::size_t n = std::min(buffer.size(), bytes_.size());
        std::copy_n(bytes_.begin(), n, buffer.begin());
        bytes_.erase(0, n);
        return n;
    }

  private:
    std::string bytes_;
    const Receiver<OverlayCommand>& commands_;
    bool& sender_open_;
};

TEST(ConnectionReader, AnExceptionEndsReadingAsAReadErrorClosingTheSourceFirst) {
    auto [sender, receiver] = make_channel<OverlayCommand>();
    bool sender_open_at_close = false;
    std::vector<std::string> log;
    run_command_reader(std::make_unique<ThrowingSource>(
                           "{\"type\":\"setVisible\",\"visible\":true}\n{\"type\":", receiver,
                           sender_open_at_close),
                       std::move(sender), [&](std::string_view line) { log.emplace_back(line); });
    EXPECT_TRUE(sender_open_at_close);
    EXPECT_FALSE(receiver.sender_alive());
    EXPECT_TRUE(receiver.try_receive());
    EXPECT_FALSE(receiver.try_receive());
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace vth

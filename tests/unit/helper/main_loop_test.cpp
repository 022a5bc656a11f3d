#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "fake_overlay_control.hpp"
#include "helper/main_loop.hpp"

namespace vth {
namespace {

using namespace std::chrono_literals;
using test::FakeOverlayControl;
using test::FakeSocket;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The loop on a fake clock: each 8 ms sleep is one pass, and before_pass
// changes the overlay or queues commands for the pass that follows.
struct LoopHarness {
    LoopHarness() {
        auto [tx, rx] = make_channel<OverlayCommand>();
        commands = std::move(tx);
        receiver = std::move(rx);
    }

    Result<void> run(int max_passes = 2000) {
        services.sleep = [this, max_passes](std::chrono::milliseconds d) {
            clock += d;
            ++passes;
            if (before_pass) before_pass(passes);
            if (passes >= max_passes) commands.send(command::Shutdown{});
        };
        return run_main_loop(services, overlay, receiver, socket);
    }

    std::vector<std::string> sent() const { return lines_of(socket.written); }
    std::vector<std::string> log_lines() const { return log; }

    test::Journal journal = std::make_shared<std::vector<std::string>>();
    FakeOverlayControl overlay{journal};
    FakeSocket socket{journal, "stream"};
    Sender<OverlayCommand> commands;
    Receiver<OverlayCommand> receiver;
    std::chrono::steady_clock::time_point clock{std::chrono::hours(1)};
    int passes = 0;
    std::function<void(int)> before_pass;
    std::vector<std::string> log;
    int toggles = 0;
    MainLoopServices services{
        .now = [this] { return clock; },
        .sleep = nullptr,
        .log = [this](std::string_view line) { log.emplace_back(line); },
        .log_last = [this](std::string_view line) { log.emplace_back(line); },
        .enqueue_toggle_vpn =
            [this] {
                ++toggles;
                log.emplace_back("<inbox>");
            },
    };
};

const std::string idle_state =
    R"({"type":"state","hovering":false,"interacting":false,"x":10,"y":20})";

TEST(MainLoop, FirstPassReportsThenOncePerSecondAtRest) {
    LoopHarness h;
    ASSERT_TRUE(h.run(251));  // just over 2 s of passes
    EXPECT_EQ(h.sent(), (std::vector<std::string>{idle_state, idle_state, idle_state}));
    EXPECT_EQ(h.log_lines(), std::vector<std::string>{"traffic helper received shutdown"});
}

TEST(MainLoop, StateReportsFollowChangesAndTheInteractingHeartbeat) {
    LoopHarness h;
    h.before_pass = [&](int pass) {
        if (pass == 2) h.overlay.interacting = true;        // change: report
        if (pass == 3) h.overlay.position = {{11, 20}};     // move: report
        if (pass == 4) h.overlay.position = {{11, 20}};     // same: nothing
        if (pass == 10) h.overlay.position = std::nullopt;  // absent differs
        if (pass == 11) h.overlay.interacting = false;
        if (pass == 12) h.overlay.hovering = true;
    };
    ASSERT_TRUE(h.run(14));
    std::vector<std::string> expected = {
        idle_state,
        R"({"type":"state","hovering":false,"interacting":true,"x":10,"y":20})",
        R"({"type":"state","hovering":false,"interacting":true,"x":11,"y":20})",
        // 33 ms heartbeat: passes at 24, 32, 40 ms after the last report
        R"({"type":"state","hovering":false,"interacting":true,"x":11,"y":20})",
        R"({"type":"state","hovering":false,"interacting":true,"x":null,"y":null})",
        R"({"type":"state","hovering":false,"interacting":false,"x":null,"y":null})",
        R"({"type":"state","hovering":true,"interacting":false,"x":null,"y":null})",
    };
    EXPECT_EQ(h.sent(), expected);
}

TEST(MainLoop, ShutdownInABurstAppliesOnlyTheCommandsBeforeIt) {
    LoopHarness h;
    h.commands.send(command::SetVisible{false});
    h.commands.send(command::SetPosition{-5, 7});
    h.commands.send(command::UpdateContent{
        "T", "S", std::pair{std::string("fb"), true}, {{1.5, 2, 3}, {2.5, 4, 5}}, true});
    h.commands.send(command::Shutdown{});
    h.commands.send(command::SetVisible{true});
    ASSERT_TRUE(h.run());
    EXPECT_EQ(*h.journal, (std::vector<std::string>{
                              "set_visible false", "set_position -5,7",
                              "update_content T|S|fb:ok|1.500000,2.000000,3.000000|2.500000,"
                              "4.000000,5.000000|hover"}));
    EXPECT_TRUE(h.sent().empty());
    EXPECT_EQ(h.log_lines(), std::vector<std::string>{"traffic helper received shutdown"});
}

TEST(MainLoop, EventsBecomeLogLinesAndMessagesInOrder) {
    struct Row {
        const char* name;
        std::vector<TrafficOverlayEvent> events;
        std::optional<ScreenPoint> position;
        std::vector<std::string> log;
        std::vector<std::string> sent;
        int toggles;
    };
    const std::vector<Row> rows = {
        {"restore",
         {overlay_event::Action{OverlayAction::RestoreMain}},
         ScreenPoint{10, 20},
         {"action=restoreMain"},
         {R"({"type":"action","action":"restoreMain","x":10,"y":20})"},
         0},
        {"hide, position unknown",
         {overlay_event::Action{OverlayAction::HideToTray}},
         std::nullopt,
         {"action=hideToTray"},
         {R"({"type":"action","action":"hideToTray","x":null,"y":null})"},
         0},
        {"toggle enqueues before the message",
         {overlay_event::Action{OverlayAction::ToggleVpn}},
         ScreenPoint{-3, 4},
         {"action=toggleVpn", "<inbox>", "toggleVpn inbox enqueued"},
         {R"({"type":"action","action":"toggleVpn","x":-3,"y":4})"},
         1},
        {"drag ended",
         {overlay_event::Action{OverlayAction::DragEnded}},
         ScreenPoint{7, 8},
         {"action=dragEnded"},
         {R"({"type":"action","action":"dragEnded","x":7,"y":8})"},
         0},
        {"unknown code dropped",
         {overlay_event::Action{static_cast<OverlayAction>(4)}},
         ScreenPoint{1, 1},
         {},
         {},
         0},
        {"add from clipboard",
         {overlay_event::AddFromClipboard{}},
         ScreenPoint{1, 1},
         {"addFromClipboard"},
         {R"({"type":"addFromClipboard"})"},
         0},
        {"two drops in order",
         {overlay_event::TextDropped{"a.example"}, overlay_event::TextDropped{"дом.рф"}},
         ScreenPoint{1, 1},
         {"textDropped len=9 preview=\"a.example\"", "textDropped len=11 preview=\"дом.рф\""},
         {R"({"type":"textDropped","text":"a.example"})",
          R"({"type":"textDropped","text":"дом.рф"})"},
         0},
    };
    for (const auto& row : rows) {
        LoopHarness h;
        h.overlay.position = row.position;
        for (const auto& e : row.events) h.overlay.events.push_back(e);
        ASSERT_TRUE(h.run(1)) << row.name;
        auto log = h.log_lines();
        log.pop_back();  // the shutdown line
        EXPECT_EQ(log, row.log) << row.name;
        auto sent = h.sent();
        sent.pop_back();  // the first state report follows the events
        EXPECT_EQ(sent, row.sent) << row.name;
        EXPECT_EQ(h.toggles, row.toggles) << row.name;
    }
}

TEST(MainLoop, LongDropIsPreviewedAndSentWhole) {
    LoopHarness h;
    std::string text(500, 'x');
    h.overlay.events.push_back(overlay_event::TextDropped{text});
    ASSERT_TRUE(h.run(1));
    EXPECT_EQ(h.log_lines()[0], "textDropped len=500 preview=\"" + std::string(160, 'x') + "\"");
    EXPECT_EQ(h.sent()[0], R"({"type":"textDropped","text":")" + text + R"("})");
}

TEST(MainLoop, AFailedWriteEndsTheLoopAndLosesTheEventsBehindIt) {
    struct Row {
        const char* name;
        int writes_before_failure;
        std::size_t sent;
        std::vector<std::string> log;  // an event's line comes before its send
    };
    const std::vector<Row> rows = {
        {"first event", 0, 0, {"addFromClipboard"}},
        {"second event", 1, 1, {"addFromClipboard", "action=hideToTray"}},
        {"state report", 2, 2, {"addFromClipboard", "action=hideToTray"}},
    };
    for (const auto& row : rows) {
        LoopHarness h;
        h.socket.writes_before_failure = row.writes_before_failure;
        h.overlay.events = {overlay_event::AddFromClipboard{},
                            overlay_event::Action{OverlayAction::HideToTray}};
        auto result = h.run();
        ASSERT_FALSE(result) << row.name;
        EXPECT_EQ(result.error().os_code, 10054) << row.name;
        EXPECT_EQ(h.sent().size(), row.sent) << row.name;
        EXPECT_EQ(h.log_lines(), row.log) << row.name;
        EXPECT_EQ(h.passes, 0) << row.name;
    }
}

TEST(MainLoop, StateReportDueTable) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0{std::chrono::hours(1)};
    const ReportedState last{t0, false, false, ScreenPoint{1, 2}};
    struct Row {
        const char* name;
        bool hovering, interacting;
        std::optional<ScreenPoint> position;
        std::chrono::milliseconds after;
        bool due;
    };
    const std::vector<Row> rows = {
        {"nothing changed", false, false, ScreenPoint{1, 2}, 999ms, false},
        {"idle heartbeat", false, false, ScreenPoint{1, 2}, 1000ms, true},
        {"hovering", true, false, ScreenPoint{1, 2}, 0ms, true},
        {"interacting", false, true, ScreenPoint{1, 2}, 0ms, true},
        {"moved", false, false, ScreenPoint{1, 3}, 0ms, true},
        {"position gone", false, false, std::nullopt, 0ms, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(
            state_report_due(last, row.hovering, row.interacting, row.position, t0 + row.after),
            row.due)
            << row.name;
    }
    const ReportedState held{t0, false, true, std::nullopt};
    EXPECT_FALSE(state_report_due(held, false, true, std::nullopt, t0 + 32ms));
    EXPECT_TRUE(state_report_due(held, false, true, std::nullopt, t0 + 33ms));
}

}  // namespace
}  // namespace vth

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "common/diagnostics.hpp"
#include "fake_overlay_window.hpp"
#include "traffic_overlay/content_hash.hpp"
#include "traffic_overlay/desktop_watch.hpp"
#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/overlay_pass.hpp"

namespace vth {
namespace {

using namespace std::chrono_literals;
using test::FakeOverlayWindow;
using test::FakeWindowRecord;

constexpr ScreenPoint window_start{100, 100};
constexpr ScreenPoint lower{150, 200};  // rows 58 and below of the window
constexpr ScreenPoint top{150, 120};    // rows 0 to 57

ScreenPoint offset(ScreenPoint p, std::int32_t dx, std::int32_t dy) {
    return {p.x + dx, p.y + dy};
}

std::string describe(const TrafficOverlayEvent& event) {
    if (auto* a = std::get_if<overlay_event::Action>(&event)) {
        return "Action " + std::to_string(static_cast<int>(a->action));
    }
    if (auto* t = std::get_if<overlay_event::TextDropped>(&event)) return "TextDropped " + t->text;
    if (std::holds_alternative<overlay_event::AddFromClipboard>(event)) return "AddFromClipboard";
    return "Idle";
}

// One overlay thread driven pass by pass on the test's thread, with a fake
// clock and a window on a single 1920 x 1080 display unless a test changes
// the displays.
struct Harness {
    Harness() {
        auto [ct, cr] = make_channel<OverlayCmd>();
        auto [et, er] = make_channel<TrafficOverlayEvent>();
        commands = std::move(ct);
        command_end = std::move(cr);
        event_end = std::move(et);
        events = std::move(er);
        record->position = window_start;
        state.intended_position = window_start;
    }

    void pass() {
        apply_queued_commands(thread);
        window.dispatch_messages();
        finish_overlay_pass(thread);
    }

    std::vector<std::string> drain() {
        std::vector<std::string> out;
        while (auto event = events.try_receive()) out.push_back(describe(*event));
        return out;
    }

    void update(OverlayContent content) {
        commands.send(overlay_cmd::UpdateContent{std::move(content)});
    }

    std::chrono::steady_clock::time_point clock{};
    OverlayState state;
    std::shared_ptr<FakeWindowRecord> record = std::make_shared<FakeWindowRecord>();
    FakeOverlayWindow window{state, record};
    Sender<OverlayCmd> commands;
    Receiver<OverlayCmd> command_end;
    Sender<TrafficOverlayEvent> event_end;
    Receiver<TrafficOverlayEvent> events;
    OverlayCells cells{window_start};
    std::vector<DisplayBounds> displays{{0, 0, 1920, 1080}};
    OverlayServices services{
        .clamp = [this](ScreenPoint p) { return clamp_overlay_position(p, displays); },
        .open_window = nullptr,
        .now = [this] { return clock; },
        .sleep = [this](std::chrono::milliseconds d) { clock += d; },
    };
    OverlayThread thread{state, window, command_end, event_end, cells, services};
};

// Input as a small script: P press, M move, R release, D double-click,
// r right press, u right release, | one loop pass. p, m, x and d are a press,
// move, release and double-click whose cursor the system could not read; w a
// press whose window rectangle it could not read.
struct Step {
    char kind;
    ScreenPoint at{};
};

struct GestureRow {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> events;
    ScreenPoint window_end;
};

void run_steps(Harness& h, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        switch (s.kind) {
            case 'P':
                h.record->queue_input(test::press_at(s.at));
                break;
            case 'M':
                h.record->queue_input(test::move_to_cursor(s.at));
                break;
            case 'R':
                h.record->queue_input(test::release_at(s.at));
                break;
            case 'D':
                h.record->queue_input(test::double_click_at(s.at));
                break;
            case 'r':
                h.record->queue_input(test::right_press());
                break;
            case 'u':
                h.record->queue_input(test::right_release());
                break;
            case 'p':
                h.record->queue_input(
                    [](GestureState& g, ScreenPoint& w) { gesture_press(g, std::nullopt, w); });
                break;
            case 'w':
                h.record->queue_input([at = s.at](GestureState& g, ScreenPoint&) {
                    gesture_press(g, at, std::nullopt);
                });
                break;
            case 'm':
                h.record->queue_input(test::move_to_cursor(std::nullopt));
                break;
            case 'x':
                h.record->queue_input(test::release_at(std::nullopt));
                break;
            case 'd':
                h.record->queue_input(test::double_click_at(std::nullopt));
                break;
            default:
                h.pass();
                break;
        }
    }
    h.pass();
}

TEST(OverlayGestures, EventsAndWindowPositionForEachGesture) {
    const std::vector<GestureRow> rows = {
        {"lower click", {{'P', lower}, {'R', lower}}, {"Action 1"}, window_start},
        {"top click", {{'P', top}, {'R', top}}, {"Action 3"}, window_start},
        {"right click", {{'r'}, {'u'}}, {"Action 2"}, window_start},
        {"right release without press", {{'u'}}, {}, window_start},
        {"top double-click toggles once",
         {{'P', top}, {'R', top}, {'|'}, {'D', top}, {'R', top}},
         {"Action 3"},
         window_start},
        {"lower double-click",
         {{'P', lower}, {'R', lower}, {'|'}, {'D', lower}, {'R', lower}},
         {"Action 1", "AddFromClipboard"},
         window_start},
        {"lower double-click before the first click was taken",
         {{'P', lower}, {'R', lower}, {'D', lower}, {'R', lower}},
         {"AddFromClipboard"},
         window_start},
        {"lower 5 px is a click",
         {{'P', lower}, {'M', offset(lower, 3, 4)}, {'R', offset(lower, 3, 4)}},
         {"Action 1"},
         window_start},
        {"lower 6 px drags",
         {{'P', lower}, {'M', offset(lower, 6, 0)}, {'R', offset(lower, 6, 0)}},
         {"Action 5"},
         {106, 100}},
        {"top 20 px is a click and does not move",
         {{'P', top}, {'M', offset(top, 20, 0)}, {'R', offset(top, 20, 0)}},
         {"Action 3"},
         window_start},
        {"top 60 px drags; release 60 px away ends the drag",
         {{'P', top}, {'M', offset(top, 60, 0)}, {'R', offset(top, 60, 0)}},
         {"Action 5"},
         {160, 100}},
        {"top drag released back near the press toggles where it was left",
         {{'P', top},
          {'M', offset(top, 60, 0)},
          {'M', offset(top, 40, 0)},
          {'R', offset(top, 40, 0)}},
         {"Action 3"},
         {140, 100}},
        {"top 47 px is a click",
         {{'P', top}, {'M', offset(top, 47, 0)}, {'R', offset(top, 47, 0)}},
         {"Action 3"},
         window_start},
        {"top 48 px drags",
         {{'P', top}, {'M', offset(top, 48, 0)}, {'R', offset(top, 48, 0)}},
         {"Action 5"},
         {148, 100}},
        {"row 57 is the top zone",
         {{'P', {150, 157}}, {'R', {150, 157}}},
         {"Action 3"},
         window_start},
        {"row 58 is the lower zone",
         {{'P', {150, 158}}, {'R', {150, 158}}},
         {"Action 1"},
         window_start},
        {"release with no press restores", {{'R', lower}}, {"Action 1"}, window_start},
        {"unreadable cursor at the press: nothing recorded",
         {{'p'}, {'M', offset(lower, 40, 0)}, {'R', offset(lower, 40, 0)}},
         {"Action 1"},
         window_start},
        {"unreadable rectangle at the press: nothing recorded",
         {{'w', lower}, {'M', offset(lower, 40, 0)}, {'R', offset(lower, 40, 0)}},
         {"Action 1"},
         window_start},
        {"unreadable cursor while pressed: no drag",
         {{'P', lower}, {'m'}, {'R', lower}},
         {"Action 1"},
         window_start},
        {"unreadable cursor at the release: the press ends without a click",
         {{'P', lower}, {'x'}, {'|'}, {'M', offset(lower, 40, 0)}, {'|'}},
         {},
         window_start},
        {"unreadable cursor at the release of a drag: the drag ends",
         {{'P', lower}, {'M', offset(lower, 40, 0)}, {'x'}, {'|'}, {'M', offset(lower, 80, 0)}},
         {"Action 5"},
         offset(window_start, 40, 0)},
        {"unreadable cursor at a double-click: a plain release",
         {{'P', lower}, {'R', lower}, {'|'}, {'d'}, {'R', lower}},
         {"Action 1", "Action 1"},
         window_start},
        {"two actions in one pass send only the later",
         {{'P', lower}, {'R', lower}, {'r'}, {'u'}},
         {"Action 2"},
         window_start},
        {"drag across several passes",
         {{'P', lower},
          {'|'},
          {'M', offset(lower, -30, 10)},
          {'|'},
          {'M', offset(lower, -50, 20)},
          {'|'},
          {'R', offset(lower, -50, 20)}},
         {"Action 5"},
         {50, 120}},
    };
    for (const auto& row : rows) {
        Harness h;
        run_steps(h, row.steps);
        EXPECT_EQ(h.drain(), row.events) << row.name;
        EXPECT_EQ(h.record->position, row.window_end) << row.name;
        EXPECT_FALSE(h.cells.interacting.load()) << row.name;
        if (row.events == std::vector<std::string>{"Action 5"}) {
            EXPECT_EQ(h.cells.last_position(), row.window_end) << row.name;
        }
    }
}

TEST(OverlayGestures, InteractingAndPositionFollowThePressAndDrag) {
    Harness h;
    run_steps(h, {{'P', lower}});
    EXPECT_TRUE(h.cells.interacting.load());
    run_steps(h, {{'M', offset(lower, 30, 40)}});
    EXPECT_TRUE(h.cells.interacting.load());
    EXPECT_EQ(h.cells.last_position(), (ScreenPoint{130, 140}));
    EXPECT_TRUE(h.drain().empty());
    run_steps(h, {{'R', offset(lower, 30, 40)}});
    EXPECT_FALSE(h.cells.interacting.load());
    EXPECT_EQ(h.drain(), std::vector<std::string>{"Action 5"});
}

TEST(OverlayGestures, LostCaptureKeepsInteractingUntilTheNextRelease) {
    Harness h;
    run_steps(h, {{'P', lower}, {'M', offset(lower, 20, 0)}});
    // The release went elsewhere; many passes later the overlay still counts as held.
    for (int i = 0; i < 5; ++i) h.pass();
    EXPECT_TRUE(h.cells.interacting.load());
    h.commands.send(overlay_cmd::SetPosition{500, 500});
    h.pass();
    EXPECT_EQ(h.record->position, (ScreenPoint{120, 100}));
    run_steps(h, {{'R', lower}});
    EXPECT_FALSE(h.cells.interacting.load());
}

TEST(OverlayGestures, DraggedWindowWithAFailingRectangleStillSendsTheAction) {
    Harness h;
    run_steps(h, {{'P', lower}, {'M', offset(lower, 40, 0)}});
    h.record->rect_fails = true;
    run_steps(h, {{'R', offset(lower, 40, 0)}});
    EXPECT_EQ(h.drain(), std::vector<std::string>{"Action 5"});
    EXPECT_EQ(h.cells.last_position(), (ScreenPoint{140, 100}));  // from the earlier pass
}

TEST(OverlaySetPosition, IgnoredWhileHeldOrAfterADragAndStoredWhateverTheMoveDid) {
    struct Row {
        const char* name;
        std::vector<Step> before;
        bool move_fails;
        ScreenPoint window_end;
        ScreenPoint stored;
    };
    const std::vector<Row> rows = {
        {"idle: clamped and moved", {}, false, {1920 - 208, 40}, {1920 - 208, 40}},
        {"move fails: stored all the same", {}, true, window_start, {1920 - 208, 40}},
        {"pressed: ignored", {{'P', lower}}, false, window_start, window_start},
        {"dragging: ignored",
         {{'P', lower}, {'M', offset(lower, 10, 0)}},
         false,
         {110, 100},
         {110, 100}},
        {"after a drag: ignored for good",
         {{'P', lower}, {'M', offset(lower, 10, 0)}, {'R', offset(lower, 10, 0)}},
         false,
         {110, 100},
         {110, 100}},
    };
    for (const auto& row : rows) {
        Harness h;
        run_steps(h, row.before);
        h.record->move_fails = row.move_fails;
        h.commands.send(overlay_cmd::SetVisible{false});
        h.commands.send(overlay_cmd::SetPosition{5000, 40});
        h.pass();
        EXPECT_EQ(h.record->position, row.window_end) << row.name;
        EXPECT_EQ(h.cells.last_position(), row.stored) << row.name;
    }
}

TEST(OverlaySetPosition, ShowsAHiddenOverlay) {
    Harness h;
    h.commands.send(overlay_cmd::SetVisible{false});
    h.pass();
    EXPECT_FALSE(h.record->visible);
    h.commands.send(overlay_cmd::SetPosition{10, 10});
    h.pass();
    EXPECT_TRUE(h.record->visible);
}

OverlayContent content(std::string title, std::vector<TrafficSample> samples = {},
                       bool drop_hover = false) {
    OverlayContent c;
    c.title = std::move(title);
    c.samples = std::move(samples);
    c.drop_hover = drop_hover;
    return c;
}

TEST(OverlayRedraw, ContentRedrawRule) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::chrono::milliseconds, OverlayContent>> updates;
        int renders;
    };
    const std::vector<Row> rows = {
        {"identical content twice", {{0ms, content("a")}, {100ms, content("a")}}, 1},
        {"two differing 10 ms apart", {{0ms, content("a")}, {10ms, content("b")}}, 1},
        {"two differing 80 ms apart", {{0ms, content("a")}, {80ms, content("b")}}, 2},
        {"79 ms is too early", {{0ms, content("a")}, {79ms, content("b")}}, 1},
        {"only an earlier sample changed",
         {{0ms, content("a", {{0, 1, 1}, {1, 2, 2}})},
          {200ms, content("a", {{0, 9, 9}, {1, 2, 2}})}},
         1},
        {"the last sample changed",
         {{0ms, content("a", {{0, 1, 1}, {1, 2, 2}})},
          {200ms, content("a", {{0, 1, 1}, {1, 3, 2}})}},
         2},
    };
    for (const auto& row : rows) {
        Harness h;
        for (const auto& [after, c] : row.updates) {
            h.clock += after;
            h.update(c);
            h.pass();
        }
        EXPECT_EQ(h.record->renders, row.renders) << row.name;
        // The state always holds the newest content, drawn or not.
        EXPECT_EQ(h.state.content.title, row.updates.back().second.title) << row.name;
    }
}

TEST(OverlayRedraw, SkippedContentIsDrawnByTheNextDueRedraw) {
    Harness h;
    h.update(content("a"));
    h.pass();
    h.clock += 10ms;
    h.update(content("b"));
    h.pass();
    h.clock += 100ms;
    h.update(content("b"));
    h.pass();
    ASSERT_EQ(h.record->renders, 2);
    EXPECT_EQ(h.record->drawn.back().title, "b");
    EXPECT_EQ(h.state.content_hash, content_hash(content("b")));
}

TEST(OverlayRedraw, DropHoverWithoutADragIsRevertedInTheSamePass) {
    Harness h;
    h.update(content("a", {}, true));
    h.pass();
    ASSERT_EQ(h.record->renders, 2);
    EXPECT_TRUE(h.record->drawn[0].drop_hover);
    EXPECT_FALSE(h.record->drawn[1].drop_hover);
    EXPECT_EQ(h.state.content_hash, 0u);
}

TEST(OverlayRedraw, HoverChangesRedrawAtOnce) {
    Harness h;
    h.cells.drop_hovering->store(true);
    h.pass();
    h.pass();
    h.cells.drop_hovering->store(false);
    h.pass();
    ASSERT_EQ(h.record->renders, 2);
    EXPECT_TRUE(h.record->drawn[0].drop_hover);
    EXPECT_FALSE(h.record->drawn[1].drop_hover);
}

TEST(OverlayDrops, OneTextLeavesPerPassOldestFirst) {
    Harness h;
    h.record->drops = {"first", "second"};
    h.pass();
    EXPECT_EQ(h.drain(), std::vector<std::string>{"TextDropped first"});
    h.pass();
    EXPECT_EQ(h.drain(), std::vector<std::string>{"TextDropped second"});
}

TEST(DesktopWatch, SettlesOncePerBurstAndRaisesOncePerForegroundBurst) {
    // Ticks: milliseconds, what was raised since the last tick (d desktop
    // change, f foreground change; h: the overlay is held), and after '='
    // what is due (s settled, t back on top).
    const std::pair<const char*, const char*> rows[] = {
        {"one change", "0d 999 1000=s 3000"},
        {"five in 240 ms: once, a second after the last", "0d 60d 120d 180d 240d 1239 1240=s 5000"},
        {"a change in the quiet time starts it again", "0d 900d 1000 1900=s"},
        {"held: a quiet second after the release", "0d 1500h 2000h 2999 3000=s"},
        {"held without a change", "0h 2000"},
        {"foreground change", "0f 249 250=t 2000"},
        {"foreground burst: once, after the last", "0f 100f 349 350=t 2000"},
        {"held does not delay a raise", "0fh 250h=t"},
        {"both", "0df 250=t 1000=s"},
    };
    for (const auto& [name, script] : rows) {
        DesktopWatch watch;
        std::istringstream ticks(script);
        for (std::string tick; ticks >> tick;) {
            std::size_t digits = tick.find_first_not_of("0123456789");
            std::string raised = tick.substr(std::min(digits, tick.size()));
            std::string due = raised.contains('=') ? raised.substr(raised.find('=') + 1) : "";
            watch.desktop_changed = raised.starts_with('d');
            watch.foreground_changed = raised.find('f') < raised.find('=');
            auto now = std::chrono::steady_clock::time_point{} +
                       std::chrono::milliseconds(std::stoi(tick));
            DesktopDue got = take_desktop_due(watch, now, raised.find('h') < raised.find('='));
            EXPECT_EQ((DesktopDue{due.contains('s'), due.contains('t')}), got)
                << name << ": " << tick;
        }
        EXPECT_FALSE(desktop_watch_busy(watch)) << name;
    }
}

void run_for(Harness& h, int ms) {
    for (; ms > 0; ms -= 8) {
        h.clock += overlay_loop_sleep;
        h.pass();
    }
}

// The window reports a desktop change, then the loop runs for ms.
void desktop_change(Harness& h, std::vector<DisplayBounds> displays, int ms = 1000) {
    h.displays = std::move(displays);
    h.state.desktop.desktop_changed = true;
    h.pass();
    run_for(h, ms);
}

TEST(OverlayDisplays, ASettledChangePlacesTheOverlayAtTheClampOfWhereItIsMeantToBe) {
    // Script: 0 one 1920 x 1080 display, 1 one 1024 x 768, 2 two 1920 x 1080
    // side by side, each settled; b a burst ending in 1024 x 768; H hide;
    // S a setPosition to (2500, 300); D a drag by (100, 20).
    const std::vector<std::vector<DisplayBounds>> layouts = {
        {{0, 0, 1920, 1080}}, {{0, 0, 1024, 768}}, {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}};
    struct Row {
        const char* name;
        ScreenPoint asked;
        std::string script;
        ScreenPoint end;
        int moves;
    };
    const std::vector<Row> rows = {
        {"shrunk: onto the display", {1500, 800}, "1", {816, 636}, 1},
        {"shrunk and back: where it was", {1500, 800}, "10", {1500, 800}, 2},
        {"hidden: placed, still hidden", {1500, 800}, "H10", {1500, 800}, 2},
        {"second display gone and back", {2500, 300}, "202", {2500, 300}, 3},
        {"where setPosition asked, not where it put it", {1500, 800}, "S2", {2500, 300}, 2},
        {"after a drag: where it was left; setPosition ignored",
         {1500, 800},
         "DS10",
         {1600, 820},
         2},
        {"a burst of five: one move", {1500, 800}, "b", {816, 636}, 1},
    };
    for (const auto& row : rows) {
        Harness h;
        h.state.intended_position = row.asked;
        h.record->position = clamp_overlay_position(row.asked, h.displays);
        for (char step : row.script) {
            if (step == 'H') h.commands.send(overlay_cmd::SetVisible{false});
            if (step == 'S') h.commands.send(overlay_cmd::SetPosition{2500, 300});
            if (step == 'D')
                run_steps(h, {{'P', {1550, 900}}, {'M', {1650, 920}}, {'R', {1650, 920}}});
            for (std::size_t i = 0; step == 'b' && i < 4; ++i)
                desktop_change(h, layouts[i % 2], 50);
            if (step == 'b') step = '1';
            if (std::isdigit(static_cast<unsigned char>(step))) {
                desktop_change(h, layouts.at(static_cast<std::size_t>(step - '0')));
            }
            h.pass();
        }
        EXPECT_EQ(h.record->position, row.end) << row.name;
        EXPECT_EQ(h.record->visible, !row.script.contains('H')) << row.name;
        EXPECT_EQ(h.record->moves, row.moves) << row.name;
        EXPECT_EQ(h.cells.last_position(), row.end) << row.name;
    }
}

TEST(OverlayDisplays, AWindowLeftOffTheDisplaysIsBroughtBackEvenAfterADrag) {
    struct Row {
        const char* name;
        ScreenPoint window;
        ScreenPoint expected;
        int moves;
    };
    const std::vector<Row> rows = {
        {"wholly inside: left alone", {300, 300}, {300, 300}, 0},
        {"partly off to the right", {1800, 300}, {1920 - 208, 300}, 1},
        {"wholly off above", {300, -500}, {300, 0}, 1},
    };
    for (const auto& row : rows) {
        Harness h;
        ScreenPoint to =
            offset(lower, row.window.x - window_start.x, row.window.y - window_start.y);
        run_steps(h, {{'P', lower}, {'M', to}, {'R', to}});
        ASSERT_EQ(h.record->position, row.window) << row.name;
        int moves_before = h.record->moves;
        desktop_change(h, h.displays);
        EXPECT_EQ(h.record->position, row.expected) << row.name;
        EXPECT_EQ(h.record->moves - moves_before, row.moves) << row.name;
        if (row.moves > 0) {
            EXPECT_EQ(h.cells.last_position(), row.expected) << row.name;
        }
        EXPECT_FALSE(desktop_watch_busy(h.state.desktop)) << row.name;
    }
}

TEST(OverlayDisplays, TheReclampWaitsForTheReleaseOfAPressOrDrag) {
    struct Row {
        const char* name;
        std::vector<Step> held;
        std::vector<std::string> events;
        ScreenPoint end;
    };
    const std::vector<Row> rows = {
        {"pressed", {{'P', lower}}, {"Action 1"}, {1920 - 208, 300}},
        {"dragging", {{'P', lower}, {'M', offset(lower, 0, 30)}}, {"Action 5"}, {1920 - 208, 330}},
    };
    for (const auto& row : rows) {
        Harness h;
        h.record->position = {1800, 300};
        h.state.intended_position = {1800, 300};
        run_steps(h, row.held);
        desktop_change(h, h.displays, 2000);
        EXPECT_EQ(h.record->position.x, 1800) << row.name;
        run_steps(h, {{'R', row.held.back().at}});
        run_for(h, 900);  // the quiet second runs from the release
        EXPECT_EQ(h.record->position.x, 1800) << row.name;
        run_for(h, 200);
        EXPECT_EQ(h.record->position, row.end) << row.name;
        EXPECT_EQ(h.cells.last_position(), row.end) << row.name;
        EXPECT_EQ(h.drain(), row.events) << row.name;
    }
}

TEST(OverlayCommands, ShutdownStillAppliesTheCommandsQueuedBehindIt) {
    Harness h;
    h.commands.send(overlay_cmd::Shutdown{});
    h.commands.send(overlay_cmd::SetVisible{false});
    EXPECT_TRUE(apply_queued_commands(h.thread));
    EXPECT_FALSE(h.record->visible);
}

TEST(OverlayCommands, APassThatThrowsIsAbandonedAndTheLoopGoesOn) {
    struct Row {
        const char* name;
        bool shutdown_first;
        std::chrono::milliseconds slept;
    };
    const Row rows[] = {
        {"shutdown queued behind", false, overlay_loop_sleep},
        {"shutdown taken before the throw", true, 0ms},
    };
    for (const auto& row : rows) {
        Harness h;
        std::vector<diag::Event> events;
        diag::set_sink([&](const diag::Event& e) { events.push_back(e); });
        h.record->failing_renders = 1;
        if (row.shutdown_first) h.commands.send(overlay_cmd::Shutdown{});
        OverlayContent content;
        content.title = "t";
        h.update(content);
        if (!row.shutdown_first) h.commands.send(overlay_cmd::Shutdown{});
        const auto start = h.clock;
        run_overlay_loop(h.thread);
        diag::set_sink({});
        EXPECT_EQ(h.clock - start, row.slept) << row.name;
        ASSERT_EQ(events.size(), 1u) << row.name;
        EXPECT_EQ(events[0].level, diag::Level::warning) << row.name;
        EXPECT_EQ(events[0].message, "overlay pass abandoned") << row.name;
    }
}

}  // namespace
}  // namespace vth

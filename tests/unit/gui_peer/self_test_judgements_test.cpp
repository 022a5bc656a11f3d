#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "self_test_checks.hpp"
#include "self_test_judgements.hpp"

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

const WindowFacts overlay{
    0x08080088, 0x80000000, "VestrilonTrafficOverlayV6", "Vestrilon traffic", {100, 200, 308, 332}};

WindowFacts with(void (*change)(WindowFacts&)) {
    WindowFacts facts = overlay;
    change(facts);
    return facts;
}

TEST(WindowContract, Table) {
    struct Row {
        const char* what;
        WindowFacts facts;
        std::vector<std::string> faults;
    };
    const Row rows[] = {
        {"as made", overlay, {}},
        {"not topmost", with([](WindowFacts& f) { f.ex_style &= ~0x8U; }), {"not topmost"}},
        {"activates", with([](WindowFacts& f) { f.ex_style &= ~0x8000000U; }), {"not no-activate"}},
        {"not layered", with([](WindowFacts& f) { f.ex_style &= ~0x80000U; }), {"not layered"}},
        {"app window",
         with([](WindowFacts& f) { f.ex_style |= 0x40000U; }),
         {"has a taskbar button"}},
        {"no tool window",
         with([](WindowFacts& f) { f.ex_style &= ~0x80U; }),
         {"not a tool window", "has a taskbar button"}},
        {"caption",
         with([](WindowFacts& f) { f.style |= 0xC00000U; }),
         {"style 0x80c00000 is not a bare popup"}},
        {"one pixel wider", with([](WindowFacts& f) { f.rect.right += 1; }), {"size 209x132"}},
        {"other class", with([](WindowFacts& f) { f.class_name = "Other"; }), {"class \"Other\""}},
        {"other title", with([](WindowFacts& f) { f.title = ""; }), {"title \"\""}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(window_contract_faults(row.facts), row.faults) << row.what;
    EXPECT_EQ(window_summary(overlay),
              "ex-style 0x08080088 style 0x80000000 208x132 \"Vestrilon traffic\"");
}

TEST(Foreground, OnlyTheHelperTakingItFails) {
    const ForegroundFacts terminal{0x10, 7, "\"bash\" (class Term)"};
    const ForegroundFacts mail{0x20, 9, "\"Inbox\" (class Mail)"};
    const ForegroundFacts overlay_window{0x30, 42, "\"Vestrilon traffic\" (class V)"};
    const ForegroundFacts none{};
    struct Row {
        const char* what;
        ForegroundFacts before;
        ForegroundFacts after;
        bool taken;
        std::string note;
    };
    const Row rows[] = {
        {"unchanged", terminal, terminal, false, ""},
        {"none stays none", none, none, false, ""},
        {"another program", terminal, mail, false,
         "foreground changed to \"Inbox\" (class Mail) (pid 9, not the helper's)"},
        {"to none", terminal, none, false, "foreground changed to none (pid 0, not the helper's)"},
        {"the helper", terminal, overlay_window, true,
         "the helper took the foreground: \"Vestrilon traffic\" (class V)"},
        {"the helper from none", none, overlay_window, true,
         "the helper took the foreground: \"Vestrilon traffic\" (class V)"},
    };
    for (const Row& row : rows) {
        const ForegroundVerdict verdict = judge_foreground(row.before, row.after, 42);
        EXPECT_EQ(verdict.taken, row.taken) << row.what;
        EXPECT_EQ(verdict.note, row.note) << row.what;
    }
    // Where every clicked window is activated, the click's activation is named only.
    const ForegroundVerdict clicked = judge_foreground(terminal, overlay_window, 42, true);
    EXPECT_FALSE(clicked.taken);
    EXPECT_EQ(clicked.note,
              "the click activated \"Vestrilon traffic\" (class V) (this system activates any "
              "clicked window; not counted)");
    EXPECT_EQ(judge_foreground(overlay_window, overlay_window, 42, true).note, "");
}

TEST(CoversOverlay, Table) {
    const ScreenRect left_monitor{0, 0, 1920, 1080};
    const ScreenRect right_monitor{1920, 0, 3840, 1080};
    const FrontWindow game{left_monitor, left_monitor, false, true, false};
    struct Row {
        const char* what;
        FrontWindow front;
        bool covers;
    };
    auto row = [&](const char* what, void (*change)(FrontWindow&), bool covers) {
        FrontWindow front = game;
        change(front);
        return Row{what, front, covers};
    };
    const Row rows[] = {
        row(
            "topmost full-screen", [](FrontWindow&) {}, true),
        // A maximized window reaches past the monitor by its borders.
        row(
            "maximized with caption",
            [](FrontWindow& f) {
                f.rect = {-8, -8, 1928, 1088};
                f.has_caption = true;
            },
            false),
        row(
            "full-screen below topmost", [](FrontWindow& f) { f.topmost = false; }, false),
        row(
            "on the other monitor", [](FrontWindow& f) { f.monitor = {1920, 0, 3840, 1080}; },
            false),
        row(
            "short of the bottom", [](FrontWindow& f) { f.rect.bottom = 1040; }, false),
        row(
            "desktop", [](FrontWindow& f) { f.shell = true; }, false),
    };
    for (const Row& r : rows) EXPECT_EQ(covers_overlay(r.front, left_monitor), r.covers) << r.what;
    FrontWindow on_right = game;
    on_right.rect = on_right.monitor = right_monitor;
    EXPECT_TRUE(covers_overlay(on_right, right_monitor));
}

TEST(EventsDifference, Table) {
    struct Row {
        std::vector<EventName> got;
        std::vector<EventName> expected;
        std::string difference;
    };
    const Row rows[] = {
        {{"action:toggleVpn"}, {"action:toggleVpn"}, ""},
        {{}, {}, ""},
        {{"action:toggleVpn", "action:toggleVpn"},
         {"action:toggleVpn"},
         "got action:toggleVpn, action:toggleVpn, expected action:toggleVpn"},
        {{}, {"action:restoreMain"}, "got nothing, expected action:restoreMain"},
        {{"addFromClipboard", "action:restoreMain"},
         {"action:restoreMain", "addFromClipboard"},
         "got addFromClipboard, action:restoreMain, expected action:restoreMain, addFromClipboard"},
        {{"action:dragEnded"},
         {"action:restoreMain"},
         "got action:dragEnded, expected action:restoreMain"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(events_difference(row.got, row.expected), row.difference) << row.difference;
    }
}

TEST(StateRate, Table) {
    struct Row {
        const char* what;
        StateRate rate;
        std::string fault;
    };
    const Row rows[] = {
        {"33 ms held, 1 s at rest", {12, 400ms, 41ms, 1, 1100ms}, ""},
        {"a busy machine", {5, 400ms, 180ms, 2, 1100ms}, ""},
        {"quiet while held", {1, 400ms, 0ms, 1, 1100ms}, "held 400ms: 1 states, worst gap 0ms"},
        {"a long gap", {10, 900ms, 600ms, 1, 1100ms}, "held 900ms: 10 states, worst gap 600ms"},
        {"nothing held", {0, 0ms, 0ms, 1, 1100ms}, "held 0ms: 0 states, worst gap 0ms"},
        {"flood at rest", {12, 400ms, 41ms, 33, 1100ms}, "at rest 33 states in 1100ms"},
    };
    for (const Row& row : rows) EXPECT_EQ(state_rate_fault(row.rate), row.fault) << row.what;
}

// A 208 by 132 picture of one colour, with the bottom line's band in another.
Capture picture(Rgb body, std::optional<Rgb> bottom_line) {
    Capture c{208, 132, std::vector<std::uint8_t>(208 * 132 * 4)};
    for (int row = 0; row < 132; ++row) {
        const Rgb colour =
            bottom_line && row >= 110 && row < 120 && row % 2 == 0 ? *bottom_line : body;
        for (int column = 0; column < 208; ++column) {
            std::uint8_t* p = c.bgra.data() + (row * 208 + column) * 4;
            p[0] = colour.b;
            p[1] = colour.g;
            p[2] = colour.r;
            p[3] = 255;
        }
    }
    return c;
}

// The picture with its first rows brightened, as by a window behind it.
Capture partly(Capture c, int rows) {
    for (std::size_t at = 0; at < static_cast<std::size_t>(rows) * 208 * 4; ++at) {
        c.bgra[at] = static_cast<std::uint8_t>(c.bgra[at] + 30);
    }
    return c;
}

TEST(HoverPicture, Table) {
    const Rgb body{20, 30, 40};
    const Rgb tinted{26, 54, 64};
    const Rgb grey_hint{186, 200, 220};
    const Rgb green_hint{46, 204, 128};
    const Capture before = picture(body, grey_hint);
    struct Row {
        const char* what;
        Capture during;
        bool drawn;
        bool back;
    };
    const Row rows[] = {
        {"tint and hint", picture(tinted, green_hint), true, false},
        {"not drawn", before, false, true},
        {"hint without tint", picture(body, green_hint), false, false},
        {"tint without hint", picture(tinted, grey_hint), false, false},
        {"a faint shade off", picture({23, 33, 43}, grey_hint), false, true},
        {"under a tenth changed behind", partly(before, 12), false, true},
        {"a fifth changed behind", partly(before, 27), false, false},
        {"another size", Capture{10, 10, std::vector<std::uint8_t>(400)}, false, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hover_drawn(before, row.during), row.drawn) << row.what;
        EXPECT_EQ(picture_back(before, row.during), row.back) << row.what;
    }
}

TEST(InboxFault, Table) {
    const std::vector<std::string> one{"toggleVpn"};
    const std::vector<std::string> none;
    struct Row {
        const char* what;
        std::string text;
        std::vector<std::string> lines;
        std::string fault;
    };
    const Row rows[] = {
        {"exact", "toggleVpn\n", one, ""},
        {"none caused, none written", "", none, ""},
        {"doubled", "toggleVpn\ntoggleVpn\n", one,
         "holds 2 lines (20 bytes), expected 1 line toggleVpn"},
        {"missing", "", one, "holds 0 lines (0 bytes), expected 1 line toggleVpn"},
        {"carriage return", "toggleVpn\r\n", one,
         "holds 1 lines (11 bytes), expected 1 line toggleVpn"},
        {"unasked", "toggleVpn\n", none, "holds 1 lines (10 bytes), expected 0 lines"},
    };
    for (const Row& row : rows) EXPECT_EQ(inbox_fault(row.text, row.lines), row.fault) << row.what;
}

TEST(Report, CarriesTheHelpersLastLinesEscaped) {
    const std::vector<std::string> messages{"starting helper build=abc1234 pid=1", "",
                                            "connect failed: refused\x1b[2J", ""};
    const auto tail = last_lines(messages, 20);
    EXPECT_EQ(tail, (std::vector<std::string>{messages[0], messages[2]}));
    EXPECT_EQ(last_lines(messages, 1), (std::vector<std::string>{messages[2]}));
    const std::vector<CheckLine> lines{{"setup", false, "the helper did not connect within 30 s"}};
    ReportFacts facts;
    facts.outcome = "self-test FAILED: 1 of 1 checks";
    facts.helper_log = tail;
    const std::string text = report_text(lines, facts);
    EXPECT_NE(text.find("FAIL setup the helper did not connect within 30 s\n"), std::string::npos);
    EXPECT_NE(text.find("helper log, last lines:\n  starting helper build=abc1234 pid=1\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
}

}  // namespace
}  // namespace vth::peer

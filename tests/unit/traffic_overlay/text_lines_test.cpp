#include <gtest/gtest.h>

#include <set>
#include <string>

#include "traffic_overlay/font_face.hpp"
#include "traffic_overlay/text_lines.hpp"

namespace vth {
namespace {

TEST(TitleColour, ByteExactConnectedWord) {
    const std::pair<std::string_view, ColorRef> rows[] = {
        {"Подключено", rgb(46, 204, 128)},
        {"VPN: Подключено", rgb(46, 204, 128)},
        {"Подключено к Европе", rgb(46, 204, 128)},
        {"подключено", rgb(236, 242, 252)},
        {"Подключен", rgb(236, 242, 252)},
        {"Отключено", rgb(236, 242, 252)},
        {"", rgb(236, 242, 252)},
    };
    for (auto [title, colour] : rows) EXPECT_EQ(title_colour(title), colour) << title;
}

TEST(OverlayFontFace, FirstInstalledFaceInOrder) {
    struct Row {
        std::set<std::string, std::less<>> installed;
        std::optional<std::string_view> chosen;
    };
    const Row rows[] = {
        {{}, std::nullopt},
        {{"Arial", "Tahoma"}, std::nullopt},
        {{"Segoe UI"}, "Segoe UI"},
        {{"Segoe UI", "Segoe UI Variable Text"}, "Segoe UI Variable Text"},
        {{"Segoe UI Light", "Segoe UI Semilight"}, "Segoe UI Semilight"},
        {{"Segoe UI Light"}, "Segoe UI Light"},
        {{"Segoe UI Variable Small", "Segoe UI Variable Text", "Segoe UI"},
         "Segoe UI Variable Small"},
    };
    for (const auto& row : rows) {
        auto chosen = choose_overlay_face(
            [&](std::string_view face) { return row.installed.contains(face); });
        EXPECT_EQ(chosen, row.chosen) << row.installed.size() << " installed, first "
                                      << (row.installed.empty() ? "" : *row.installed.begin());
    }
}

TEST(OverlayFontFace, ChosenOnceForTheProcess) {
    const auto first = overlay_face_once([](std::string_view face) { return face == "Segoe UI"; });
    int asked = 0;
    const auto later = overlay_face_once([&](std::string_view) { return ++asked, true; });
    EXPECT_EQ(later, first);
    EXPECT_EQ(asked, 0);
}

// out, then piece times times.
std::string repeated(std::string_view piece, std::size_t times, std::string out = {}) {
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(TextLines, LongTextsCutOnACodePointBoundary) {
    const std::size_t limit = drawn_text_limit;
    struct Row {
        const char* what;
        std::string text;
        std::size_t drawn;
    };
    const Row rows[] = {
        {"short", "Сервер", 12},
        {"at the limit", std::string(limit, 'x'), limit},
        {"one byte over", std::string(limit + 1, 'x'), limit},
        {"a mebibyte", std::string(std::size_t{1} << 20, 'x'), limit},
        {"two-byte letter across the cut", repeated("Д", limit, "x"), limit - 1},
        {"three-byte sign across the cut", repeated("…", limit, "xx"), limit - 2},
        {"four-byte sign across the cut", repeated("😀", limit, "x"), limit - 3},
        {"four-byte sign ending at the cut", repeated("😀", limit), limit},
        {"stray continuation bytes", std::string(limit + 9, '\x80'), limit - 3},
        {"connected word past the cut", repeated("Подключено", 1, std::string(limit, 'x')), limit},
    };
    for (const Row& row : rows) {
        OverlayContent content;
        content.title = content.subtitle = row.text;
        content.feedback = Feedback{row.text, true};
        for (const TextLine& line : overlay_text_lines(content)) {
            EXPECT_EQ(line.text, std::string_view(row.text).substr(0, row.drawn)) << row.what;
        }
        EXPECT_EQ(overlay_text_lines(content)[0].colour, title_colour(row.text)) << row.what;
    }
}

TEST(BottomLine, FirstRuleThatApplies) {
    struct Row {
        const char* what;
        std::optional<Feedback> feedback;
        bool drop_hover;
        std::string_view text;
        ColorRef colour;
    };
    const Row rows[] = {
        {"hover beats feedback", Feedback{"Ошибка", false}, true, "Отпустите — добавить в VPN",
         rgb(46, 204, 128)},
        {"hover alone", std::nullopt, true, "Отпустите — добавить в VPN", rgb(46, 204, 128)},
        {"no feedback", std::nullopt, false, "перетащи сюда url для обхода", rgb(186, 200, 220)},
        {"success", Feedback{"Добавлено: example.org", true}, false, "Добавлено: example.org",
         rgb(46, 204, 128)},
        {"failure", Feedback{"Ошибка", false}, false, "Ошибка", rgb(255, 142, 142)},
        {"empty feedback text", Feedback{"", true}, false, "", rgb(46, 204, 128)},
    };
    for (const Row& row : rows) {
        OverlayContent content;
        content.feedback = row.feedback;
        content.drop_hover = row.drop_hover;
        const TextLine line = bottom_line(content);
        EXPECT_EQ(line.text, row.text) << row.what;
        EXPECT_EQ(line.colour, row.colour) << row.what;
        EXPECT_EQ(line.rect.top, 105) << row.what;
    }
}

}  // namespace
}  // namespace vth

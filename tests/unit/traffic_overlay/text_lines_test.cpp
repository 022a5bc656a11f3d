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

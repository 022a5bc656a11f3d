#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "os/win/traffic_overlay/draw_text_alpha.hpp"
#include "os/win/traffic_overlay/gdi_owned.hpp"
#include "os/win/traffic_overlay/overlay_font.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/text_composite.hpp"
#include "traffic_overlay/text_lines.hpp"

namespace vth::win {
namespace {

// The canvas between guard bytes that no drawing may reach.
struct Guarded {
    std::array<std::uint8_t, 4096> before{};
    Canvas canvas{};
    std::array<std::uint8_t, 4096> after{};
};

class DrawTextAlpha : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dc);
        paint_body(g.canvas, false);
        plain = g.canvas;
    }

    void draw(const TextRect& rect, std::string_view text, HFONT with_font) {
        draw_text_alpha(dc.get(), g.canvas, rect, text, text_white, with_font);
    }

    // Outside the scratch bitmap's place: empty rectangles still get 1 x 1.
    bool changed_outside(const TextRect& rect) const {
        const ScratchSize size = scratch_size(rect);
        const int right = rect.left + size.width;
        const int bottom = rect.top + size.height;
        for (int r = 0; r < OVERLAY_HEIGHT; ++r) {
            for (int c = 0; c < OVERLAY_WIDTH; ++c) {
                const bool inside = c >= rect.left && c < right && r >= rect.top && r < bottom;
                const std::size_t at = pixel_offset(c, r);
                if (!inside && !std::equal(&g.canvas[at], &g.canvas[at] + 4, &plain[at])) {
                    return true;
                }
            }
        }
        return false;
    }

    bool guards_intact() const {
        return g.before == decltype(g.before){} && g.after == decltype(g.after){};
    }

    MemoryDc dc{CreateCompatibleDC(nullptr)};
    GdiFont font = create_overlay_font();
    Guarded g;
    Canvas plain{};
};

TEST_F(DrawTextAlpha, LinesStayInsideTheirRectangleAndTheCanvas) {
    struct Row {
        const char* what;
        TextRect rect;
        std::string_view text;
        std::optional<bool> draws;  // none: a 1 x 1 scratch may catch a glyph's edge
    };
    const Row rows[] = {
        {"title", title_rect, "Подключено", true},
        {"ampersand shown as itself", title_rect, "&", true},
        {"empty text", title_rect, "", false},
        {"empty rectangle", {50, 50, 50, 50}, "WWW", std::nullopt},
        {"inverted rectangle", {60, 60, 40, 40}, "WWW", std::nullopt},
        {"past the bottom right", {180, 122, 260, 142}, "WWWWWWWW", true},
        {"past the top left", {-20, -12, 30, 8}, "WWWWWWWW", true},
        {"outside the canvas", {300, 300, 400, 320}, "WWW", false},
    };
    for (const HFONT f : {font.get(), HFONT{}}) {
        for (const Row& row : rows) {
            g.canvas = plain;
            draw(row.rect, row.text, f);
            std::string what = row.what;
            what.append(f ? "" : ", stock font");
            if (row.draws) {
                EXPECT_EQ(g.canvas != plain, *row.draws) << what;
            }
            EXPECT_FALSE(changed_outside(row.rect)) << what;
            EXPECT_TRUE(guards_intact()) << what;
        }
    }
}

TEST_F(DrawTextAlpha, TextEndsAtItsFirstNul) {
    using namespace std::string_view_literals;
    draw(subtitle_rect, "ab"sv, font.get());
    const Canvas short_text = g.canvas;
    g.canvas = plain;
    draw(subtitle_rect, "ab\0cd"sv, font.get());
    EXPECT_EQ(g.canvas, short_text);
}

TEST_F(DrawTextAlpha, CutTextsDrawAsTheWholeText) {
    auto repeated = [](std::string_view piece) {
        std::string out;
        while (out.size() < 3 * drawn_text_limit) out += piece;
        return out;
    };
    const std::string rows[] = {
        repeated("i"),
        repeated("."),
        repeated("Подключено "),
        repeated("l\u0301\u0301\u0301\u0301"),
        repeated("i\u200d\u200b\ufe0f\u200c"),
        repeated("\u05e9\u05dc\u05d5\u05dd "),
        repeated("😀"),
    };
    for (const HFONT f : {font.get(), HFONT{}}) {
        for (const std::string& text : rows) {
            g.canvas = plain;
            draw(title_rect, text, f);
            const Canvas whole = g.canvas;
            g.canvas = plain;
            draw(title_rect, drawn_part(text), f);
            EXPECT_TRUE(g.canvas == whole) << text.substr(0, 40) << (f ? "" : ", stock font");
        }
    }
}

TEST_F(DrawTextAlpha, GlyphsRaiseAlphaInTheTextColour) {
    draw(title_rect, "Подключено", font.get());
    int raised = 0;
    for (std::size_t at = 0; at < CANVAS_BYTES; at += 4) {
        if (g.canvas[at + 3] <= 128) continue;
        ++raised;
        // Between the body colour and the text colour, channel by channel.
        EXPECT_GE(g.canvas[at], 86);
        EXPECT_LE(g.canvas[at], 252);
        EXPECT_GE(g.canvas[at + 2], 46);
        EXPECT_LE(g.canvas[at + 2], 236);
    }
    EXPECT_GT(raised, 20);
}

}  // namespace
}  // namespace vth::win

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "traffic_overlay/alpha_finish.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/text_composite.hpp"
#include "traffic_overlay/text_lines.hpp"

namespace vth {
namespace {

using Bgra = std::array<int, 4>;

Bgra pixel(const Canvas& canvas, int c, int r) {
    const std::size_t at = pixel_offset(c, r);
    return {canvas[at], canvas[at + 1], canvas[at + 2], canvas[at + 3]};
}

void set_pixel(Canvas& canvas, int c, int r, Bgra v) {
    for (std::size_t k = 0; k < 4; ++k)
        canvas[pixel_offset(c, r) + k] = static_cast<std::uint8_t>(v[k]);
}

std::string where(int c, int r) {
    std::ostringstream text;
    text << "pixel (" << c << ", " << r << ")";
    return text.str();
}

constexpr Bgra body{86, 62, 46, 128};
constexpr Bgra clear{0, 0, 0, 0};

TEST(Body, RoundedCornersAndTint) {
    struct Row {
        int c, r;
        Bgra plain, tinted;
    };
    constexpr Bgra tinted_body{90, 80, 45, 128};
    const Row rows[] = {
        {0, 0, clear, clear},         {1, 1, clear, clear},          {2, 3, body, tinted_body},
        {8, 0, body, tinted_body},    {0, 8, body, tinted_body},     {7, 7, body, tinted_body},
        {199, 0, body, tinted_body},  {200, 0, clear, clear},        {200, 1, body, tinted_body},
        {207, 0, clear, clear},       {0, 131, clear, clear},        {8, 131, body, tinted_body},
        {207, 131, clear, clear},     {199, 131, body, tinted_body}, {205, 128, body, tinted_body},
        {104, 66, body, tinted_body}, {0, 60, body, tinted_body},    {207, 60, body, tinted_body},
    };
    Canvas plain{}, tinted{};
    plain.fill(0xAB);  // painting starts from a cleared canvas
    paint_body(plain, false);
    paint_body(tinted, true);
    for (const Row& row : rows) {
        EXPECT_EQ(pixel(plain, row.c, row.r), row.plain) << where(row.c, row.r);
        EXPECT_EQ(pixel(tinted, row.c, row.r), row.tinted) << where(row.c, row.r) << " tinted";
    }
}

TEST(FinishAlpha, AlphaRulesThenPremultiplication) {
    const std::pair<Bgra, Bgra> rows[] = {
        {clear, {0, 0, 0, 1}},                         // transparent corner keeps mouse input
        {body, {43, 31, 23, 128}},                     // plain body
        {{30, 20, 10, 1}, {3, 2, 1, 30}},              // nearly transparent takes its brightness
        {{252, 242, 236, 255}, {249, 239, 233, 252}},  // bright near-grey text
        {{255, 255, 255, 100}, {255, 255, 255, 255}},
        {{128, 204, 46, 255}, {128, 204, 46, 255}},    // coloured text unchanged
        {{250, 200, 250, 200}, {196, 156, 196, 200}},  // bright but not grey
        {{239, 239, 239, 100}, {93, 93, 93, 100}},     // grey but not bright
    };
    for (const auto& [before, after] : rows) {
        Canvas canvas{};
        set_pixel(canvas, 5, 6, before);
        finish_alpha(canvas);
        EXPECT_EQ(pixel(canvas, 5, 6), after)
            << "from " << before[0] << "," << before[1] << "," << before[2] << "," << before[3];
    }
}

// A scratch bitmap of one coverage value everywhere.
std::vector<std::uint8_t> scratch_of(ScratchSize size, std::uint8_t coverage) {
    std::vector<std::uint8_t> s(static_cast<std::size_t>(size.width * size.height) * 4, 0);
    for (std::size_t i = 0; i < s.size(); i += 4) s[i + 1] = coverage;
    return s;
}

TEST(CompositeText, BlendsOverStraightAlpha) {
    struct Row {
        std::uint8_t coverage;
        Bgra under;
        ColorRef colour;
        Bgra expected;
    };
    const Row rows[] = {
        {255, body, text_white, {252, 242, 236, 255}},
        {128, body, text_white, {197, 182, 173, 191}},
        {0, body, text_white, body},
        {255, clear, connected_green, {128, 204, 46, 255}},
        {1, clear, failure_red, {142, 142, 255, 1}},
        {100, {255, 255, 255, 255}, rgb(0, 0, 0), {155, 155, 155, 255}},
    };
    for (const Row& row : rows) {
        Canvas canvas{};
        set_pixel(canvas, 20, 10, row.under);
        const TextRect rect{20, 10, 21, 11};
        composite_text_coverage(canvas, rect, scratch_of({1, 1}, row.coverage), {1, 1}, row.colour);
        EXPECT_EQ(pixel(canvas, 20, 10), row.expected) << "coverage " << int{row.coverage};
    }
}

TEST(CompositeText, ScratchSizeAtLeastOne) {
    const std::pair<TextRect, std::pair<int, int>> rows[] = {
        {title_rect, {182, 20}},
        {{5, 5, 5, 5}, {1, 1}},
        {{10, 10, 4, 2}, {1, 1}},
        {{0, 0, 1, 1}, {1, 1}},
        {{-2147483647 - 1, 0, 2147483647, 2}, {2147483647, 2}},
    };
    for (const auto& [rect, wh] : rows) {
        const ScratchSize s = scratch_size(rect);
        EXPECT_EQ(std::make_pair(s.width, s.height), wh)
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
}

TEST(CompositeText, ClipsToTheCanvas) {
    struct Guarded {
        std::array<std::uint8_t, 4096> before{};
        Canvas canvas{};
        std::array<std::uint8_t, 4096> after{};
    };
    const TextRect rects[] = {
        {200, 125, 216, 140}, {-6, -4, 4, 6}, {-300, -300, -250, -250}, {300, 10, 310, 20}};
    for (const TextRect& rect : rects) {
        Guarded g;
        const ScratchSize size = scratch_size(rect);
        composite_text_coverage(g.canvas, rect, scratch_of(size, 255), size, text_white);
        for (int r = 0; r < OVERLAY_HEIGHT; ++r) {
            for (int c = 0; c < OVERLAY_WIDTH; ++c) {
                const bool inside =
                    c >= rect.left && c < rect.right && r >= rect.top && r < rect.bottom;
                const bool painted = pixel(g.canvas, c, r) == Bgra{252, 242, 236, 255};
                EXPECT_EQ(painted, inside) << where(c, r);
            }
        }
        EXPECT_EQ(g.before, decltype(g.before){}) << "rect left " << rect.left;
        EXPECT_EQ(g.after, decltype(g.after){}) << "rect left " << rect.left;
    }
}

}  // namespace
}  // namespace vth

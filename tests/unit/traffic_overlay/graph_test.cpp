#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/graph_layer.hpp"

namespace vth {
namespace {

using Samples = std::vector<TrafficSample>;

TEST(GraphGeometry, FrameAndPoints) {
    struct Row {
        const char* what;
        Samples samples;
        double t, value;
        GraphFrame frame;
        PlotPoint point;
    };
    const double nan = std::nan("");
    const Row rows[] = {
        {"zero line at the start", {{0, 0, 0}, {10, 0, 0}}, 0, 0, {1, 0, 10}, {12, 97.5f}},
        {"end of the span", {{0, 0, 0}, {10, 0, 0}}, 10, 0, {1, 0, 10}, {196, 97.5f}},
        {"scale below 1 stays 1", {{0, 0.5, 0}, {10, 0, 0.25}}, 5, 0.5, {1, 0, 10}, {104, 77}},
        {"shared scale", {{0, 5, 0}, {4, 0, 20}}, 1, 20, {20, 0, 4}, {58, 56.5f}},
        {"equal times: span 1", {{5, 1, 1}, {5, 2, 2}}, 5, 1, {2, 5, 1}, {12, 77}},
        {"first and last by position",
         {{5, 0, 0}, {0, 0, 0}, {3, 0, 0}},
         5.5,
         0,
         {1, 5, 1},
         {104, 97.5f}},
        {"negative value", {{0, -5, -5}, {1, -1, -1}}, 0.5, -5, {1, 0, 1}, {104, 97.5f}},
        {"time before the first", {{10, 1, 1}, {20, 1, 1}}, 3, 1, {1, 10, 10}, {12, 56.5f}},
        {"time after the last", {{10, 1, 1}, {20, 1, 1}}, 99, 1, {1, 10, 10}, {196, 56.5f}},
        {"value not a number", {{0, 1, 1}, {1, 1, 1}}, 1, nan, {1, 0, 1}, {196, 97.5f}},
        {"time not a number", {{0, 1, 1}, {1, 1, 1}}, nan, 1, {1, 0, 1}, {12, 56.5f}},
        {"NaN ignored by the scale", {{0, nan, 3}, {1, 1, nan}}, 1, 3, {3, 0, 1}, {196, 56.5f}},
    };
    for (const Row& row : rows) {
        const GraphFrame f = graph_frame(row.samples);
        EXPECT_EQ(f.scale, row.frame.scale) << row.what;
        EXPECT_EQ(f.t0, row.frame.t0) << row.what;
        EXPECT_EQ(f.span, row.frame.span) << row.what;
        const PlotPoint p = plot_point(f, row.t, row.value);
        EXPECT_EQ(p.x, row.point.x) << row.what;
        EXPECT_EQ(p.y, row.point.y) << row.what;
    }
}

using Bgra = std::array<int, 4>;
constexpr Bgra body{86, 62, 46, 128};
constexpr Bgra green{128, 204, 46, 255};
constexpr Bgra blue{255, 155, 58, 255};

Bgra pixel(const Canvas& canvas, int c, int r) {
    const std::size_t at = pixel_offset(c, r);
    return {canvas[at], canvas[at + 1], canvas[at + 2], canvas[at + 3]};
}

Canvas body_with(const Samples& samples) {
    Canvas canvas{};
    paint_body(canvas, false);
    paint_graph(canvas, samples);
    return canvas;
}

TEST(GraphPixels, LinesOnTheZeroLineAndTheScale) {
    struct Row {
        const char* what;
        Samples samples;
        int row;
        Bgra line;
    };
    const Row rows[] = {
        {"all zero: upload over download", {{0, 0, 0}, {1, 0, 0}}, 97, green},
        {"download at the scale", {{0, 0, 7}, {1, 0, 7}}, 56, blue},
        {"upload at the scale", {{0, 7, 0}, {1, 7, 0}}, 56, green},
        {"clamped values", {{-3, -9, 1e9}, {4, -1e300, 1e9}}, 56, blue},
    };
    for (const Row& row : rows) {
        const Canvas canvas = body_with(row.samples);
        for (int c = 12; c <= 195; ++c) {
            EXPECT_EQ(pixel(canvas, c, row.row), row.line) << row.what << " column " << c;
        }
        EXPECT_EQ(pixel(canvas, 11, row.row), body) << row.what;
        // The last dab sits on x = 196.0 and so always paints the pixel holding it.
        EXPECT_NE(pixel(canvas, 196, row.row), body) << row.what;
        EXPECT_EQ(pixel(canvas, 197, row.row), body) << row.what;
        EXPECT_EQ(pixel(canvas, 100, row.row - 1), body) << row.what;
        EXPECT_EQ(pixel(canvas, 100, row.row + 1), body) << row.what;
    }
}

// Partly covered pixels, where dab coverage, the 96 floor and the 220 weight
// decide the blend; values from an independent model of the stroke rules,
// where the pixel holding each dab's point is always painted.
TEST(GraphPixels, SoftEdgesBlend) {
    const Canvas canvas = body_with({{0, 0.31, 0.77}, {0.37, 0.5, 0.12}, {1.3, 0.9, 0.95}});
    struct Row {
        int c, r;
        Bgra expected;
    };
    const Row rows[] = {
        {140, 72, {251, 153, 57, 207}}, {63, 92, {251, 153, 57, 234}},
        {137, 67, {127, 201, 46, 205}}, {45, 79, {127, 203, 46, 245}},
        {90, 85, {251, 153, 57, 228}},  {162, 64, {127, 201, 46, 242}},
        {193, 59, {251, 153, 57, 233}}, {49, 85, {231, 142, 56, 175}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(pixel(canvas, row.c, row.r), row.expected)
            << "column " << row.c << " row " << row.r;
    }
}

TEST(GraphPixels, NothingOutsideThePlotArea) {
    const double nan = std::nan("");
    const double inf = INFINITY;
    const Samples cases[] = {
        {},
        {{0, 5, 5}},
        {{0, 1e308, -1e308}, {1, -1e308, 1e308}, {2, 3, 4}},
        {{nan, nan, nan}, {nan, 1, 2}, {3, nan, 4}},
        {{-inf, inf, -inf}, {inf, -inf, inf}, {0, 1, 1}},
        {{1e300, 0, 1}, {-1e300, 1, 0}, {0, 1, 1}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Canvas canvas = body_with(cases[i]);
        Canvas plain{};
        paint_body(plain, false);
        for (int r = 0; r < OVERLAY_HEIGHT; ++r) {
            for (int c = 0; c < OVERLAY_WIDTH; ++c) {
                if (r >= 56 && r <= 97 && c >= 12 && c <= 196) continue;
                ASSERT_EQ(pixel(canvas, c, r), pixel(plain, c, r))
                    << "case " << i << " column " << c << " row " << r;
            }
        }
        if (cases[i].size() < 2) {
            EXPECT_EQ(canvas, plain) << "case " << i;
        }
    }
}

// Lines lying on pixel boundaries, 0.5 px from every pixel centre, still
// paint the pixels that hold their points.
TEST(GraphPixels, LinesOnPixelBoundariesAreDrawn) {
    struct Row {
        const char* what;
        Samples samples;
        int first_column, last_column;
        int first_row, last_row;
    };
    const Row rows[] = {
        {"constant upload at half the scale, y = 77", {{0, 3.5, 7}, {1, 3.5, 7}}, 12, 196, 77, 77},
        {"vertical stroke of two samples with equal t", {{5, 0, 0}, {5, 0, 7}}, 12, 12, 57, 97},
    };
    for (const Row& row : rows) {
        const Canvas canvas = body_with(row.samples);
        for (int c = row.first_column; c <= row.last_column; ++c) {
            for (int r = row.first_row; r <= row.last_row; ++r) {
                const Bgra p = pixel(canvas, c, r);
                EXPECT_NE(p, body) << row.what << " column " << c << " row " << r;
            }
        }
    }
}

TEST(GraphPixels, DiagonalStrokeIsContinuous) {
    const Canvas canvas = body_with({{0, 0, 0}, {1, 0, 1}});
    // Download rises from (12, 97.5) to (196, 56.5): every column between is touched.
    for (int c = 13; c <= 194; ++c) {
        bool touched = false;
        for (int r = 56; r <= 97; ++r) touched = touched || pixel(canvas, c, r) != body;
        EXPECT_TRUE(touched) << "column " << c;
    }
}

}  // namespace
}  // namespace vth

#include "traffic_overlay/graph_layer.hpp"

#include <algorithm>
#include <cmath>

namespace vth {
namespace {

double unit_clamp(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, 0.0, 1.0);
}

void dab_pixel(std::uint8_t* p, float f, ColorRef colour) {
    const int a = std::clamp(static_cast<int>(std::round(f * 255.0f)), 96, 255);
    const int k = std::max(a, 220);
    const int line[3] = {blue_of(colour), green_of(colour), red_of(colour)};
    for (int c = 0; c < 3; ++c) {
        p[c] = static_cast<std::uint8_t>(std::min(255, (k * line[c] + (255 - k) * p[c]) / 255));
    }
    p[3] = static_cast<std::uint8_t>(std::min(255, a + (255 - a) * p[3] / 255));
}

// A soft round dot of effective radius about 0.467 pixels. Beyond 0.47 the
// coverage is below the 0.08 cut anyway, so rows and pixels that far away
// are passed over before the root and the power. The pixel that holds the
// dab's point is always painted (at least at the minimum alpha): otherwise a
// line lying on a pixel boundary, 0.5 px from every centre, paints nothing.
void dab(CanvasView canvas, float x, float y, ColorRef colour) {
    constexpr float reach_squared = 0.2209f;
    const int home_r = static_cast<int>(std::floor(y));
    const int home_c = static_cast<int>(std::floor(x));
    const int r0 = static_cast<int>(std::floor(y - 0.5f));
    const int r1 = static_cast<int>(std::ceil(y + 0.5f));
    const int c0 = static_cast<int>(std::floor(x - 0.5f));
    const int c1 = static_cast<int>(std::ceil(x + 0.5f));
    for (int r = std::max(r0, 0); r <= std::min(r1, OVERLAY_HEIGHT - 1); ++r) {
        const float dy = static_cast<float>(r) + 0.5f - y;
        const float dy2 = dy * dy;
        if (dy2 > reach_squared && r != home_r) continue;
        for (int c = std::max(c0, 0); c <= std::min(c1, OVERLAY_WIDTH - 1); ++c) {
            const bool home = r == home_r && c == home_c;
            const float dx = static_cast<float>(c) + 0.5f - x;
            const float d2 = dx * dx + dy2;
            if (d2 > reach_squared && !home) continue;
            const float dist = std::sqrt(d2);
            if (dist > 0.5f && !home) continue;
            float f = 1.0f;
            if (dist > 0.28f) {
                f = std::pow(std::clamp(1.0f - (dist - 0.28f) / 0.221f, 0.0f, 1.0f), 1.35f);
                if (f <= 0.08f && !home) continue;
            }
            dab_pixel(canvas.data() + pixel_offset(c, r), f, colour);
        }
    }
}

void stroke(CanvasView canvas, PlotPoint p, PlotPoint q, ColorRef colour) {
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    const int steps = std::max(1, static_cast<int>(std::ceil(std::max(length, 0.001f) * 2.5f)));
    for (int i = 0; i <= steps; ++i) {
        const float s = static_cast<float>(i) / static_cast<float>(steps);
        dab(canvas, p.x + dx * s, p.y + dy * s, colour);
    }
}

template <typename Value>
void paint_series(CanvasView canvas, std::span<const TrafficSample> samples,
                  const GraphFrame& frame, Value value, ColorRef colour) {
    PlotPoint previous = plot_point(frame, samples[0].t, value(samples[0]));
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const PlotPoint next = plot_point(frame, samples[i].t, value(samples[i]));
        stroke(canvas, previous, next, colour);
        previous = next;
    }
}

}  // namespace

GraphFrame graph_frame(std::span<const TrafficSample> samples) {
    GraphFrame frame;
    for (const TrafficSample& s : samples)
        frame.scale = std::fmax(std::fmax(frame.scale, s.up), s.down);
    frame.t0 = samples.front().t;
    frame.span = std::fmax(samples.back().t, frame.t0 + 1.0) - frame.t0;
    return frame;
}

PlotPoint plot_point(const GraphFrame& frame, double t, double value) {
    const auto u = static_cast<float>(unit_clamp((t - frame.t0) / frame.span));
    const auto w = static_cast<float>(unit_clamp(value / frame.scale));
    return {12.0f + 184.0f * u, 97.5f - 41.0f * w};
}

void paint_graph(CanvasView canvas, std::span<const TrafficSample> samples) {
    if (samples.size() < 2) return;
    const GraphFrame frame = graph_frame(samples);
    paint_series(
        canvas, samples, frame, [](const TrafficSample& s) { return s.down; }, download_blue);
    paint_series(canvas, samples, frame, [](const TrafficSample& s) { return s.up; }, upload_green);
}

}  // namespace vth

#pragma once
// The traffic graph: download and upload as two polylines of soft dabs
// over the plot area, both on one shared scale.
#include <span>

#include "traffic_overlay/canvas.hpp"
#include "traffic_widget/traffic_sample.hpp"

namespace vth {

inline constexpr ColorRef download_blue = rgb(58, 155, 255);
inline constexpr ColorRef upload_green = rgb(46, 204, 128);

// Scale and time window of one picture's graph.
struct GraphFrame {
    double scale = 1.0;  // at least 1.0
    double t0 = 0.0;     // the first sample's time
    double span = 1.0;   // at least 1.0
};

struct PlotPoint {
    float x = 0.0f;
    float y = 0.0f;
};

// samples must not be empty.
GraphFrame graph_frame(std::span<const TrafficSample> samples);

// x from 12 to 196 and y from 97.5 (zero line) up to 56.5 (the scale).
// Values that are not numbers count as 0, so they land on the zero line or
// the left edge instead of reaching the pixel loops.
PlotPoint plot_point(const GraphFrame& frame, double t, double value);

// Draws nothing for fewer than 2 samples.
void paint_graph(CanvasView canvas, std::span<const TrafficSample> samples);

}  // namespace vth

// The overlay picture without text rasterisation: body, graph and the alpha
// finishing, for growing sample counts, beside the premultiply pass alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "traffic_overlay/alpha_finish.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/graph_layer.hpp"

namespace {

// Bursty traffic over one sample per time unit.
std::vector<vth::TrafficSample> traffic(std::int64_t count) {
    std::vector<vth::TrafficSample> samples;
    for (std::int64_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i);
        samples.push_back(
            {t, 800.0 * (1.0 + std::sin(t * 0.37)), 5000.0 * (1.0 + std::cos(t * 0.11))});
    }
    return samples;
}

void premultiply_pass(benchmark::State& state) {
    vth::Canvas canvas{};
    vth::paint_body(canvas, false);
    for (auto _ : state) {
        vth::finish_alpha(canvas);
        benchmark::DoNotOptimize(canvas.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(premultiply_pass);

void full_canvas(benchmark::State& state) {
    const auto samples = traffic(state.range(0));
    vth::Canvas canvas{};
    for (auto _ : state) {
        vth::paint_body(canvas, false);
        vth::paint_graph(canvas, samples);
        vth::finish_alpha(canvas);
        benchmark::DoNotOptimize(canvas.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(full_canvas)->Arg(0)->Arg(2)->Arg(120)->Arg(600)->Arg(10000);

}  // namespace

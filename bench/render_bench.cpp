// The overlay picture without text rasterisation: body, graph and the alpha
// finishing, for growing sample counts, beside the premultiply pass alone;
// the text lines handed to the platform for growing titles; the content hash
// of a long title beside SipHash over the same bytes alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "traffic_overlay/alpha_finish.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/content_hash.hpp"
#include "traffic_overlay/graph_layer.hpp"
#include "traffic_overlay/sip_hash.hpp"
#include "traffic_overlay/text_lines.hpp"

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

// What reaches the text drawing: the bytes that follow the cut are never
// read again, so only the title colour's search grows with the title.
void text_lines(benchmark::State& state) {
    vth::OverlayContent content;
    content.title.assign(static_cast<std::size_t>(state.range(0)), 'x');
    content.subtitle = content.title;
    std::size_t drawn = 0;
    for (auto _ : state) {
        for (const vth::TextLine& line : vth::overlay_text_lines(content)) {
            drawn += line.text.size();
        }
        benchmark::DoNotOptimize(drawn);
    }
}
BENCHMARK(text_lines)->Arg(16)->Arg(4096)->Arg(1 << 20)->Arg(64 << 20);

// The hash reads the texts where they lie: close to sip_hash_alone, not a
// copy of the title (and its page faults) more.
void content_hash_of_title(benchmark::State& state) {
    vth::OverlayContent content;
    content.title.assign(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) benchmark::DoNotOptimize(vth::content_hash(content));
}
BENCHMARK(content_hash_of_title)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

void sip_hash_alone(benchmark::State& state) {
    const std::string bytes(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) benchmark::DoNotOptimize(vth::sip_hash_13(bytes));
}
BENCHMARK(sip_hash_alone)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

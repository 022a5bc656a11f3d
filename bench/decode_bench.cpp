// Decoding large updateContent lines, beside a bare RapidJSON SAX pass over
// the same bytes with the same flags and a handler that does nothing: the
// typed decoding should cost at most twice the bare pass.
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <cstddef>
#include <string>
#include <vector>

#include "helper/overlay_command.hpp"
#include "json/command_decode.hpp"
#include "json/input_stream.hpp"
#include "json/reader.hpp"

namespace {

constexpr int line_count = 40;
constexpr int samples_per_line = 10'000;

// Samples as the GUI writes them: time stamps and rates with fractions,
// some integers, some in the array form.
std::string content_line(int seed) {
    std::string line =
        R"({"type":"updateContent","title":"Подключено","subtitle":"↑ 1.2 MB/s ↓ 9.8 MB/s",)"
        R"("feedback":["ok",true],"samples":[)";
    for (int i = 0; i < samples_per_line; ++i) {
        if (i > 0) line += ',';
        const std::string t = std::to_string(1733600000.0 + i * 0.25 + seed);
        const std::string up = std::to_string((i * 7919 % 100000) / 8.0);
        const std::string down = std::to_string(i * 104729L % 9'000'000);
        if (i % 4 == 3) {
            line.append("[").append(t).append(",").append(up).append(",").append(down).append("]");
        } else {
            line.append(R"({"t":)").append(t).append(R"(,"up":)").append(up).append(R"(,"down":)");
            line.append(down).append("}");
        }
    }
    line += R"(],"dropHover":false})";
    return line;
}

const std::vector<std::string>& lines() {
    static const std::vector<std::string> built = [] {
        std::vector<std::string> v;
        for (int i = 0; i < line_count; ++i) v.push_back(content_line(i));
        return v;
    }();
    return built;
}

std::int64_t total_bytes() {
    std::int64_t n = 0;
    for (const auto& l : lines()) n += static_cast<std::int64_t>(l.size());
    return n;
}

void typed_decode(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            auto command = vth::decode_command(line);
            if (!command) state.SkipWithError(command.error().text.c_str());
            benchmark::DoNotOptimize(command);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes());
}

struct NoHandler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, NoHandler> {};

void bare_sax_pass(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            vth::json::InputStream stream(line);
            NoHandler handler;
            rapidjson::Reader reader;
            auto result = reader.Parse<vth::json::read_flags>(stream, handler);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes());
}

void bare_sax_pass_string_stream(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            rapidjson::StringStream stream(line.c_str());
            NoHandler handler;
            rapidjson::Reader reader;
            auto result = reader.Parse<vth::json::read_flags>(stream, handler);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes());
}

}  // namespace

BENCHMARK(typed_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(bare_sax_pass)->Unit(benchmark::kMillisecond);
BENCHMARK(bare_sax_pass_string_stream)->Unit(benchmark::kMillisecond);

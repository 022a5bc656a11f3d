// Decoding large updateContent lines, beside a bare RapidJSON SAX pass over
// the same bytes as the decoders run the reader (iterative, UTF-8
// validated, strings decoded into the stream's buffer) with a handler that
// only keeps a sum of what it is handed. Goals:
// the typed decoding at most 1.5 times the bare pass, the reader path (line
// reader over an in-memory source, then decoding) at most 1.15 times the
// typed decoding alone. The ratios and the share of one core the reader
// thread needs for 60 lines of 600 samples a second are printed at the end,
// from the fastest of ten interleaved repetitions when run without arguments
// (of the one run otherwise).
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "helper/byte_stream.hpp"
#include "helper/command_reader.hpp"
#include "json/input_stream.hpp"
#include "json/reader.hpp"
#include "protocol/command_decode.hpp"
#include "protocol/overlay_command.hpp"

namespace {

constexpr int line_count = 40;
constexpr int samples_per_line = 10'000;
// One second of content at the display rate.
constexpr int display_lines = 60;
constexpr int display_samples = 600;

// Samples as the GUI writes them: time stamps and rates with fractions,
// some integers, some in the array form.
std::string content_line(int seed, int samples) {
    std::string line =
        R"({"type":"updateContent","title":"Подключено","subtitle":"↑ 1.2 MB/s ↓ 9.8 MB/s",)"
        R"("feedback":["ok",true],"samples":[)";
    for (int i = 0; i < samples; ++i) {
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

std::vector<std::string> build_lines(int count, int samples) {
    std::vector<std::string> v;
    v.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) v.push_back(content_line(i, samples));
    return v;
}

const std::vector<std::string>& lines() {
    static const auto built = build_lines(line_count, samples_per_line);
    return built;
}

const std::vector<std::string>& display_rate_lines() {
    static const auto built = build_lines(display_lines, display_samples);
    return built;
}

// The lines as the GUI sends them: each ended by LF.
std::string stream_of(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& l : v) s.append(l).append("\n");
    return s;
}

std::int64_t total_bytes(const std::vector<std::string>& v) {
    std::int64_t n = 0;
    for (const auto& l : v) n += static_cast<std::int64_t>(l.size());
    return n;
}

// A connection that has the whole stream ready: each read fills what it is offered.
class MemorySource : public vth::ByteSource {
  public:
    explicit MemorySource(std::string_view data) : data_(data) {}
    vth::Result<std::size_t> read(std::span<char> buffer) override {
        const std::size_t n = std::min(buffer.size(), data_.size());
        std::memcpy(buffer.data(), data_.data(), n);
        data_.remove_prefix(n);
        return n;
    }

  private:
    std::string_view data_;
};

void typed_decode(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            auto command = vth::decode_command(vth::json::NulTerminated{line});
            if (!command) state.SkipWithError(command.error().text.c_str());
            benchmark::DoNotOptimize(command);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes(lines()));
}

// Through the entry for texts without a NUL after them.
void typed_decode_unterminated(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            auto command = vth::decode_command(std::string_view(line));
            if (!command) state.SkipWithError(command.error().text.c_str());
            benchmark::DoNotOptimize(command);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes(lines()));
}

// A handler that keeps a sum of what it is handed, the least any consumer
// does: with a handler that does nothing the compiler drops the reader's
// number conversion, and the pass would time less than the reader's work.
struct KeepingHandler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, KeepingHandler> {
    double sum = 0;
    std::size_t bytes = 0;
    bool Uint(unsigned u) { return keep(u); }
    bool Int(int i) { return keep(i); }
    bool Uint64(std::uint64_t u) { return keep(static_cast<double>(u)); }
    bool Int64(std::int64_t i) { return keep(static_cast<double>(i)); }
    bool Double(double d) { return keep(d); }
    bool String(const char*, rapidjson::SizeType length, bool) { return count(length); }
    bool Key(const char*, rapidjson::SizeType length, bool) { return count(length); }
    bool RawNumber(const char*, rapidjson::SizeType length, bool) { return count(length); }

  private:
    bool keep(double d) {
        sum += d;
        return true;
    }
    bool count(std::size_t length) {
        bytes += length;
        return true;
    }
};

struct NoHandler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, NoHandler> {};

// The reader over one line as the decoders run it: their flags, numbers
// converted by the reader, strings decoded into the stream's buffer.
template <class Handler, class Stream>
void bare_pass(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& line : lines()) {
            Stream stream(vth::json::NulTerminated{line});
            Handler handler;
            rapidjson::Reader reader;
            auto result = reader.Parse<vth::json::read_flags>(stream, handler);
            benchmark::DoNotOptimize(result);
            benchmark::DoNotOptimize(handler);
        }
    }
    state.SetBytesProcessed(state.iterations() * total_bytes(lines()));
}

// The input stream for texts without a NUL after them, built from the text alone.
struct UnterminatedStream : vth::json::InputStream {
    explicit UnterminatedStream(vth::json::NulTerminated text) : InputStream(text.text) {}
};

void bare_sax_pass(benchmark::State& state) {
    bare_pass<KeepingHandler, vth::json::NulFreeInputStream>(state);
}
void bare_sax_pass_input_stream(benchmark::State& state) {
    bare_pass<KeepingHandler, UnterminatedStream>(state);
}
// For comparison only: the same with a handler that does nothing.
void bare_sax_pass_no_handler(benchmark::State& state) {
    bare_pass<NoHandler, vth::json::NulFreeInputStream>(state);
}

// What the command reader thread runs, from the bytes of the connection to
// the commands handed on.
void read_all(benchmark::State& state, const std::string& stream, std::size_t want) {
    MemorySource source(stream);
    std::size_t got = 0;
    auto done = vth::read_commands(
        source,
        [&](vth::OverlayCommand command) {
            benchmark::DoNotOptimize(command);
            ++got;
            return true;
        },
        [&](std::string_view text) { state.SkipWithError(std::string(text).c_str()); });
    if (!done || got != want) state.SkipWithError("lines lost");
}

void reader_path(benchmark::State& state) {
    static const std::string stream = stream_of(lines());
    for (auto _ : state) read_all(state, stream, lines().size());
    state.SetBytesProcessed(state.iterations() * total_bytes(lines()));
}

// One iteration is one second of content, so its CPU time in seconds is the
// share of one core.
void reader_path_display_rate(benchmark::State& state) {
    static const std::string stream = stream_of(display_rate_lines());
    for (auto _ : state) read_all(state, stream, display_rate_lines().size());
    state.SetBytesProcessed(state.iterations() * total_bytes(display_rate_lines()));
    state.counters["core_share"] = benchmark::Counter(
        1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Console output plus the ratios between benchmarks of this run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!single && run.aggregate_name != "min") continue;
            if (run.error_occurred) continue;
            auto& seen = results_[run.run_name.function_name];
            seen.seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (auto it = run.counters.find("core_share"); it != run.counters.end())
                seen.core_share = it->second.value;
        }
    }

    void print_ratios() const {
        std::printf("\nCPU time ratios of this run:\n");
        ratio("typed_decode", "bare_sax_pass", 1.5);
        ratio("typed_decode_unterminated", "bare_sax_pass_input_stream", 1.5);
        ratio("typed_decode", "bare_sax_pass_no_handler", 0);
        ratio("reader_path", "typed_decode", 1.15);
        if (auto it = results_.find("reader_path_display_rate"); it != results_.end())
            std::printf("  reader thread, %d lines of %d samples a second: %.2f%% of one core\n",
                        display_lines, display_samples, 100 * it->second.core_share);
    }

  private:
    struct Result {
        double seconds = 0;
        double core_share = 0;
    };

    void ratio(const char* measured, const char* baseline, double goal) const {
        const auto m = results_.find(measured);
        const auto b = results_.find(baseline);
        if (m == results_.end() || b == results_.end()) return;
        std::printf("  %-26s / %-26s %.3f", measured, baseline,
                    m->second.seconds / b->second.seconds);
        if (goal > 0) std::printf(" (goal %.2f)", goal);
        // Every baseline reads the 40 long lines.
        std::printf("; %s at %.0f MB/s\n", baseline,
                    static_cast<double>(total_bytes(lines())) / b->second.seconds / 1e6);
    }

    std::map<std::string, Result> results_;
};

// The fastest of the repetitions: on a shared machine other work only ever
// adds time, so the minimum is the steadiest figure for a ratio.
double fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

#define VTH_DECODE_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest)

VTH_DECODE_BENCHMARK(bare_sax_pass);
VTH_DECODE_BENCHMARK(bare_sax_pass_input_stream);
VTH_DECODE_BENCHMARK(bare_sax_pass_no_handler);
VTH_DECODE_BENCHMARK(typed_decode);
VTH_DECODE_BENCHMARK(typed_decode_unterminated);
VTH_DECODE_BENCHMARK(reader_path);
VTH_DECODE_BENCHMARK(reader_path_display_rate);

// Without arguments: ten interleaved repetitions of each, aggregates only.
std::vector<char*> with_defaults(int argc, char** argv) {
    static char repetitions[] = "--benchmark_repetitions=10";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> args(argv, argv + argc);
    if (argc == 1) args.insert(args.end(), {repetitions, interleaving, aggregates});
    args.push_back(nullptr);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    auto args = with_defaults(argc, argv);
    int count = static_cast<int>(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    // Built before timing starts, not inside the first benchmark to run.
    lines();
    display_rate_lines();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}

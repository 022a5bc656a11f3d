// log FILE [--summary]: the helper's log for people. Each line with its time
// stamp as UTC ISO 8601 and the rest as written, control bytes escaped; a
// line not in the helper's form is printed as it is behind "[unparsed] ".
// With --summary, one block per run instead, where zeros left by a power loss
// end a line. Exits with 1 when some line did not parse.
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "log_view.hpp"
#include "subcommands.hpp"
#include "utf8_file.hpp"

namespace vth::tool {
namespace {

constexpr std::size_t chunk_size = std::size_t{64} * 1024;
// Long lines are printed and parsed piece by piece; a stamp and every message
// the summary looks at fit in the first piece.
constexpr std::size_t piece_size = std::size_t{64} * 1024;

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void put(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

class LinePrinter {
  public:
    explicit LinePrinter(bool summary) : summary_(summary), runs_(put) {}

    void piece(const LinePiece& piece) {
        if (piece.first) {
            const auto line = parse_log_line(piece.bytes);
            if (!line) any_unparsed_ = true;
            if (summary_) {
                line ? runs_.add(*line) : runs_.add_unparsed();
                return;
            }
            out_ = line ? *iso8601_from_file_time(line->intervals) + " " : unparsed_mark;
            append_escaped(out_, line ? line->message : piece.bytes);
        } else if (!summary_) {
            append_escaped(out_, piece.bytes);
        }
        if (summary_) return;
        if (piece.last) out_ += '\n';
        put(out_);
        out_.clear();
    }

    // The exit code.
    int finish() {
        if (summary_) runs_.finish();
        return any_unparsed_ ? 1 : 0;
    }

  private:
    bool summary_;
    RunSummary runs_;
    std::string out_;
    bool any_unparsed_ = false;
};

}  // namespace

int log_view(Args args) {
    bool summary = false;
    std::optional<std::string> path;
    for (std::string_view arg : args) {
        if (arg == "--summary") {
            summary = true;
        } else if (!path && !arg.starts_with("--")) {
            path = std::string(arg);
        } else {
            path.reset();
            break;
        }
    }
    if (!path || args.size() > 2) {
        std::fputs("usage: traffic-helper-tool log FILE [--summary]\n", stderr);
        return 2;
    }
    const std::unique_ptr<std::FILE, CloseFile> file{open_utf8(*path, "rb")};
    if (!file) {
        std::fprintf(stderr, "log: cannot open %s\n", path->c_str());
        return 2;
    }
    binary_mode(stdout);
    LinePrinter printer(summary);
    // The lines keep every byte as written; the runs survive a zero-filled end.
    LineSplitter lines(
        piece_size, [&](const LinePiece& piece) { printer.piece(piece); },
        summary ? NulBytes::end_line : NulBytes::kept);
    auto chunk = std::make_unique_for_overwrite<char[]>(chunk_size);
    for (;;) {
        const std::size_t got = std::fread(chunk.get(), 1, chunk_size, file.get());
        lines.feed(std::string_view(chunk.get(), got));
        if (got < chunk_size) break;  // the end, or an error
    }
    if (std::ferror(file.get())) {
        std::fprintf(stderr, "log: cannot read %s\n", path->c_str());
        return 2;
    }
    lines.finish();
    const int code = printer.finish();
    std::fflush(stdout);
    return code;
}

}  // namespace vth::tool

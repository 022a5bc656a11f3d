#pragma once
// Reading the helper's log for people: each line's time stamp as UTC ISO 8601,
// the message as written with every byte a terminal could act on escaped, and
// one summary block per run. The file is hostile: any bytes, lines of any
// length, stamps of any value. Pure functions and plain classes; any thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vth::tool {

// A line in the helper's form "SystemTime { intervals: N } message".
struct LogLine {
    std::uint64_t intervals = 0;  // 100 ns since 1601-01-01 00:00 UTC
    std::string_view message;
};

// The stamp and message, or nothing when the line is not in that form or its
// stamp lies past the year 9999.
std::optional<LogLine> parse_log_line(std::string_view line);

// "YYYY-MM-DDTHH:MM:SS.mmmZ", milliseconds truncated; nothing past the year 9999.
std::optional<std::string> iso8601_from_file_time(std::uint64_t intervals);

// Appends bytes to out unchanged where they are valid UTF-8, except controls
// (C0, DEL, C1), bidirectional controls and the line and paragraph
// separators; those, and every byte outside valid UTF-8, become \xHH per byte.
void append_escaped(std::string& out, std::string_view bytes);

// The line printed in place of one that does not parse starts with this.
inline constexpr std::string_view unparsed_mark = "[unparsed] ";

// Part of one line: a line longer than the piece limit comes in several
// pieces, cut where no UTF-8 sequence is split (unless it is broken anyway).
struct LinePiece {
    std::string_view bytes;  // without the line feed
    bool first = false;
    bool last = false;
};

// What a NUL byte in the stream is. The helper never writes one, but a file
// system that lost power can leave the end of the log zero-filled, and the
// next run appends behind the zeros.
enum class NulBytes {
    kept,      // part of the line, as written
    end_line,  // a run of them ends the line before it and is no line itself
};

// Splits a byte stream at line feeds (and NUL bytes when asked). Holds at most
// about one piece and one chunk, whatever the length of a line.
class LineSplitter {
  public:
    using Sink = std::function<void(const LinePiece&)>;
    LineSplitter(std::size_t max_piece, Sink sink, NulBytes nul = NulBytes::kept);
    void feed(std::string_view chunk);
    void finish();  // a last line without its line feed

  private:
    void emit(std::string_view bytes, bool last);
    void take(std::string_view bytes);  // hands on every full piece

    std::size_t max_piece_;
    Sink sink_;
    NulBytes nul_;
    std::string pending_;     // bytes of the current line not yet handed on
    bool started_ = false;    // a piece of the current line was handed on
    bool after_nul_ = false;  // the last byte taken was a NUL that ended a line
};

// What the summary keeps of one run.
struct LogRun {
    std::uint64_t first = 0;  // stamps of its first and last line
    std::uint64_t last = 0;
    std::optional<std::string> start_fields;  // escaped, from the start line
    std::optional<std::string> ending;        // escaped; absent: no ending line
    std::array<std::uint64_t, 6> actions{};   // by the names in log_view.cpp
    std::uint64_t drops = 0;
    std::uint64_t rejected = 0;
};

// Counts per run, printed as one block per run as soon as the run is over,
// so a log of any number of runs needs no more memory than one. A run starts
// at the first line after the previous run ended, or, after a run that has
// its start line but no ending (killed, power lost), at the next line a
// helper writes before or as its start: the lines that wait for the
// configuration come before the start line of their run. A line may end in
// the CR of a copy saved with CRLF line ends.
class RunSummary {
  public:
    using Sink = std::function<void(std::string_view)>;
    explicit RunSummary(Sink sink) : sink_(std::move(sink)) {}
    // message may be only the first piece of a long line.
    void add(const LogLine& line);
    void add_unparsed() { ++unparsed_; }
    // The last block and a closing line with the totals.
    void finish();

  private:
    void close_run();

    Sink sink_;
    std::optional<LogRun> run_;
    bool ended_ = false;  // run_ has its ending line
    std::uint64_t runs_ = 0;
    std::uint64_t lines_ = 0;
    std::uint64_t unparsed_ = 0;
};

}  // namespace vth::tool

#include "log_view.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "common/utf8.hpp"

namespace vth::tool {
namespace {

using namespace std::chrono;

constexpr std::string_view stamp_start = "SystemTime { intervals: ";
constexpr std::string_view stamp_end = " } ";
constexpr std::uint64_t intervals_per_ms = 10'000;
constexpr std::uint64_t ms_per_day = 86'400'000;
constexpr sys_days file_time_epoch = sys_days{year{1601} / January / 1};
constexpr auto days_in_range = (sys_days{year{10000} / January / 1} - file_time_epoch).count();
// A fatal text is an error message; anything longer is cut in the summary.
constexpr std::size_t fatal_text_limit = 300;

// Counted by name; the first four come as "action=NAME" lines.
constexpr std::array<std::string_view, 6> action_names = {
    "toggleVpn", "restoreMain", "hideToTray", "dragEnded", "addFromClipboard", "other"};
constexpr std::size_t add_from_clipboard = 4;
constexpr std::size_t other_action = 5;

// What a helper logs while it waits for its configuration, before its start line.
constexpr std::string_view config_missing =
    "config missing; waiting for GUI to write traffic-helper.json";
constexpr std::string_view config_retry = "config parse retry: ";

std::size_t action_index(std::string_view name) {
    for (std::size_t i = 0; i < add_from_clipboard; ++i) {
        if (action_names[i] == name) return i;
    }
    return other_action;
}

bool in_range(std::uint64_t intervals) {
    return intervals / intervals_per_ms / ms_per_day < static_cast<std::uint64_t>(days_in_range);
}

std::size_t sequence_length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Only called on a valid sequence.
char32_t decode(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return lead;
    char32_t value = lead & (0x7F >> sequence.size());
    for (char c : sequence.substr(1)) value = (value << 6) | (static_cast<unsigned char>(c) & 0x3F);
    return value;
}

// Terminal controls, and characters that reorder or break what is shown.
bool needs_escape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void append_hex_bytes(std::string& out, std::string_view bytes) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
}

// The longest prefix of at most limit bytes that does not end inside a UTF-8
// sequence; a broken sequence, or a limit too small to move back, cuts at limit.
std::size_t utf8_cut(std::string_view bytes, std::size_t limit) {
    if (bytes.size() <= limit) return bytes.size();
    for (std::size_t back = 1; back <= 3 && back < limit; ++back) {
        const auto b = static_cast<unsigned char>(bytes[limit - back]);
        if ((b & 0xC0) == 0x80) continue;
        return back < sequence_length(b) ? limit - back : limit;
    }
    return limit;
}

std::string escaped(std::string_view bytes) {
    std::string out;
    append_escaped(out, bytes);
    return out;
}

std::string time_text(std::uint64_t intervals) {
    return iso8601_from_file_time(intervals).value_or("?");
}

// "build=X pid=N integrity=L gui_pid=N" as "build X, integrity L, pid N".
std::string start_fields(std::string_view fields) {
    std::string_view build = "?";
    std::string_view integrity = "?";
    std::string_view pid = "?";
    while (!fields.empty()) {
        const auto space = fields.find(' ');
        const std::string_view word = fields.substr(0, space);
        fields = space == std::string_view::npos ? std::string_view{} : fields.substr(space + 1);
        const auto equals = word.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = word.substr(0, equals);
        const std::string_view value = word.substr(equals + 1);
        if (key == "build") build = value;
        if (key == "integrity") integrity = value;
        if (key == "pid") pid = value;
    }
    return "build " + escaped(build) + ", integrity " + escaped(integrity) + ", pid " +
           escaped(pid);
}

std::string fatal_text(std::string_view text) {
    const std::size_t cut = utf8_cut(text, fatal_text_limit);
    std::string out = "fatal: " + escaped(text.substr(0, cut));
    if (cut < text.size()) out += " [cut]";
    return out;
}

}  // namespace

std::optional<std::string> iso8601_from_file_time(std::uint64_t intervals) {
    if (!in_range(intervals)) return std::nullopt;
    const std::uint64_t ms = intervals / intervals_per_ms;
    const year_month_day date{file_time_epoch + days{static_cast<int>(ms / ms_per_day)}};
    const std::uint64_t in_day = ms % ms_per_day;
    char text[32];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%03uZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<unsigned>(in_day / 3'600'000), static_cast<unsigned>(in_day / 60'000 % 60),
        static_cast<unsigned>(in_day / 1'000 % 60), static_cast<unsigned>(in_day % 1'000));
    return std::string(text);
}

std::optional<LogLine> parse_log_line(std::string_view line) {
    if (!line.starts_with(stamp_start)) return std::nullopt;
    line.remove_prefix(stamp_start.size());
    std::uint64_t intervals = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), intervals);
    if (error != std::errc{} || end == line.data()) return std::nullopt;
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
    if (!line.starts_with(stamp_end) || !in_range(intervals)) return std::nullopt;
    return LogLine{intervals, line.substr(stamp_end.size())};
}

void append_escaped(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Printable ASCII, nearly all of a log, goes over in runs.
        const auto plain = std::find_if(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                                        [](char c) { return c < 0x20 || c > 0x7E; });
        const auto run_end = static_cast<std::size_t>(plain - bytes.begin());
        out.append(bytes, i, run_end - i);
        i = run_end;
        if (i == bytes.size()) return;
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::string_view sequence = bytes.substr(i, sequence_length(lead));
        const bool valid =
            sequence.size() == sequence_length(lead) && (lead < 0x80 || is_valid_utf8(sequence));
        if (!valid) {
            append_hex_bytes(out, sequence.substr(0, 1));
            ++i;
            continue;
        }
        if (needs_escape(decode(sequence))) {
            append_hex_bytes(out, sequence);
        } else {
            out += sequence;
        }
        i += sequence.size();
    }
}

LineSplitter::LineSplitter(std::size_t max_piece, Sink sink, NulBytes nul)
    : max_piece_(std::max<std::size_t>(max_piece, 4)), sink_(std::move(sink)), nul_(nul) {}

void LineSplitter::emit(std::string_view bytes, bool last) {
    sink_(LinePiece{bytes, !started_, last});
    started_ = !last;
}

void LineSplitter::take(std::string_view bytes) {
    pending_.append(bytes);
    std::size_t done = 0;
    while (pending_.size() - done > max_piece_) {
        const std::string_view rest = std::string_view(pending_).substr(done);
        const std::size_t cut = utf8_cut(rest, max_piece_);
        emit(rest.substr(0, cut), false);
        done += cut;
    }
    pending_.erase(0, done);
}

void LineSplitter::feed(std::string_view chunk) {
    constexpr std::string_view feed_or_nul{"\n\0", 2};
    while (!chunk.empty()) {
        const auto end =
            nul_ == NulBytes::end_line ? chunk.find_first_of(feed_or_nul) : chunk.find('\n');
        take(chunk.substr(0, end));
        if (end == std::string_view::npos) return;
        const bool line_open = !pending_.empty() || started_;
        const bool nul = chunk[end] == '\0';
        // Zeros end the line they cut short; a line feed right behind them
        // ends nothing, as the zeros were no line.
        if (line_open || (!nul && !after_nul_)) emit(pending_, true);
        pending_.clear();
        after_nul_ = nul;
        chunk.remove_prefix(end + 1);
    }
}

void LineSplitter::finish() {
    if (!pending_.empty() || started_) emit(pending_, true);
    pending_.clear();
}

void RunSummary::add(const LogLine& line) {
    ++lines_;
    std::string_view message = line.message;
    if (message.ends_with('\r')) message.remove_suffix(1);
    constexpr std::string_view start_prefix = "starting helper ";
    const bool starting = message.starts_with(start_prefix);
    const bool before_start = message == config_missing || message.starts_with(config_retry);
    // A start line joins a run that so far only waited for its configuration;
    // after a start line, it and the waiting lines belong to the next run.
    if (run_ && (ended_ || ((starting || before_start) && run_->start_fields))) close_run();
    if (!run_) {
        run_.emplace();
        run_->first = line.intervals;
    }
    LogRun& run = *run_;
    run.last = line.intervals;
    if (starting) {
        run.start_fields = start_fields(message.substr(start_prefix.size()));
    } else if (message == "traffic helper received shutdown") {
        run.ending = "shutdown";
        ended_ = true;
    } else if (constexpr std::string_view fatal = "traffic helper fatal: ";
               message.starts_with(fatal)) {
        run.ending = fatal_text(message.substr(fatal.size()));
        ended_ = true;
    } else if (constexpr std::string_view action = "action="; message.starts_with(action)) {
        ++run.actions[action_index(message.substr(action.size()))];
    } else if (message == "addFromClipboard") {
        ++run.actions[add_from_clipboard];
    } else if (message.starts_with("textDropped len=")) {
        ++run.drops;
    } else if (message.starts_with("rejected invalid helper command: ")) {
        ++run.rejected;
    }
}

void RunSummary::close_run() {
    if (!run_) return;
    const LogRun& run = *run_;
    std::string out = "run " + std::to_string(++runs_) + ": " + time_text(run.first) + " to " +
                      time_text(run.last) + "\n";
    out += "  started: " + run.start_fields.value_or("no start line") + "\n";
    out += "  ended: " + run.ending.value_or("no ending line") + "\n";
    std::string actions;
    for (std::size_t i = 0; i < action_names.size(); ++i) {
        if (run.actions[i] == 0) continue;
        actions += actions.empty() ? "" : " ";
        actions += std::string(action_names[i]) + "=" + std::to_string(run.actions[i]);
    }
    out += "  actions: " + (actions.empty() ? std::string("none") : actions) + "\n";
    out += "  drops: " + std::to_string(run.drops) + "\n";
    out += "  rejected commands: " + std::to_string(run.rejected) + "\n";
    sink_(out);
    run_.reset();
    ended_ = false;
}

void RunSummary::finish() {
    close_run();
    sink_(std::to_string(runs_) + " runs, " + std::to_string(lines_ + unparsed_) + " lines, " +
          std::to_string(unparsed_) + " not parsed\n");
}

}  // namespace vth::tool

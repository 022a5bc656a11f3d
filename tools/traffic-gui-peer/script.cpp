#include "script.hpp"

#include <charconv>

namespace vth::peer {
namespace {

using Clock = Inbox::Clock;

// A send may fail just before the reader sees the end of the stream.
constexpr std::chrono::milliseconds close_grace{1000};

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    while (!(text = trim(text)).empty()) {
        const auto end = std::min(text.find_first_of(" \t"), text.size());
        out.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return out;
}

// Longer waits would overflow the clock arithmetic; no script needs them.
constexpr std::int64_t longest_wait_ms = 86'400'000;

// A whole number of milliseconds, at most one day; the error names the line.
Result<std::chrono::milliseconds> milliseconds(std::string_view text, std::string_view wants,
                                               std::string_view line) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool whole = end == text.data() + text.size();
    if (whole &&
        (ec == std::errc::result_out_of_range || (ec == std::errc{} && value > longest_wait_ms))) {
        return fail(std::string(wants) + ", at most 86400000 (one day): " + std::string(line));
    }
    if (ec != std::errc{} || !whole || value < 0) {
        return fail(std::string(wants) + ": " + std::string(line));
    }
    return std::chrono::milliseconds(value);
}

Result<decltype(ScriptStep::what)> parse_line(std::string_view line) {
    if (line.front() == '{') return step::Send{std::string(line)};
    const auto parts = words(line);
    if (parts[0] == "sleep" && parts.size() == 2) {
        auto ms = milliseconds(parts[1], "sleep wants milliseconds", line);
        if (!ms) return std::unexpected(ms.error());
        return step::Sleep{*ms};
    }
    if (parts[0] == "expect" && (parts.size() == 2 || parts.size() == 3)) {
        step::Expect expect;
        expect.type = parts[1];
        if (expect.type.starts_with("action:")) {
            expect.action = expect.type.substr(7);
            expect.type = "action";
            if (expect.action.empty()) return fail("expect action: wants a name");
        }
        if (parts.size() == 3) {
            auto ms = milliseconds(parts[2], "expect wants a timeout in milliseconds", line);
            if (!ms) return std::unexpected(ms.error());
            expect.timeout = *ms;
        }
        return expect;
    }
    return fail("not a JSON command, sleep or expect: " + std::string(line));
}

std::string describe(const step::Expect& expect) {
    return expect.action.empty() ? expect.type : expect.type + ":" + expect.action;
}

}  // namespace

Result<std::vector<ScriptStep>> parse_script(std::string_view text) {
    std::vector<ScriptStep> steps;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const auto feed = std::min(text.find('\n'), text.size());
        const std::string_view line = trim(text.substr(0, feed));
        text.remove_prefix(std::min(feed + 1, text.size()));
        if (line.empty() || line.front() == '#') continue;
        auto what = parse_line(line);
        if (!what) return fail("script line " + std::to_string(number) + ": " + what.error().text);
        steps.push_back(ScriptStep{number, std::move(*what)});
    }
    return steps;
}

Result<void> run_script(std::span<const ScriptStep> steps, Outbox& outbox, Inbox& inbox) {
    std::size_t next_message = 0;
    for (const auto& s : steps) {
        const std::string where = "script line " + std::to_string(s.line_number) + ": ";
        if (const auto* send = std::get_if<step::Send>(&s.what)) {
            if (inbox.closed()) return {};
            auto sent = outbox.send_line(send->line);
            if (!sent) {
                if (inbox.wait_closed(Clock::now() + close_grace)) return {};
                return fail(where + "send failed: " + sent.error().text);
            }
        } else if (const auto* sleep = std::get_if<step::Sleep>(&s.what)) {
            if (inbox.wait_closed(Clock::now() + sleep->duration)) return {};
        } else {
            const auto& expect = std::get<step::Expect>(s.what);
            const auto found = inbox.wait_for(
                next_message,
                [&](const Message& m) {
                    return m.type == expect.type &&
                           (expect.action.empty() || m.action == expect.action);
                },
                Clock::now() + expect.timeout);
            if (!found) {
                const bool ended = inbox.closed();
                return fail(
                    where + "expect " + describe(expect) + " failed: " +
                    (ended ? "the connection ended first"
                           : "nothing within " + std::to_string(expect.timeout.count()) + " ms"));
            }
            next_message = *found + 1;
        }
    }
    return {};
}

}  // namespace vth::peer

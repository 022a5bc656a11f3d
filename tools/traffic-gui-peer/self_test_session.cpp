#include "self_test_session.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "common/os.hpp"

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t latency_runs = 20;
constexpr auto helper_exit_timeout = 10s;
// Long enough for an action sent late, such as a click held back for a
// double-click that never came (450 ms), to show.
constexpr auto settle_time = 600ms;

std::string point_text(ScreenPoint p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

std::string position_text(const std::optional<ScreenPoint>& p) {
    return p ? point_text(*p) : std::string("none");
}

std::optional<ScreenPoint> top_left(const std::optional<ScreenRect>& rect) {
    if (!rect) return std::nullopt;
    return ScreenPoint{rect->left, rect->top};
}

std::string file_text(const std::string& path) {
    auto text = os::read_file(path);
    return text ? *text : std::string();
}

}  // namespace

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Session::record(std::string_view name, bool passed, std::string figure) {
    if (!passed && send_error_) {
        figure += " (a command could not be sent: " + *send_error_ + ")";
        send_error_.reset();
    }
    lines.push_back({name, passed, std::move(figure)});
    say(check_line_text(lines.back()));
}

void Session::send(const std::string& line) {
    if (auto sent = outbox_.send_line(line); !sent) send_error_ = sent.error().text;
}

std::string Session::vestrilon_file(std::string_view name) const {
    return os::join_path(os::join_path(data_dir_, "Vestrilon"), name);
}

std::optional<HelperReport> Session::wait_report(
    std::size_t from, const std::function<bool(const HelperReport&)>& match, milliseconds timeout) {
    auto found = reports_.wait_for(from, match, Clock::now() + timeout);
    if (!found) return std::nullopt;
    next_ = *found + 1;
    return reports_.at(*found);
}

std::optional<HelperReport> Session::wait_action(std::size_t from, std::string_view action,
                                                 milliseconds timeout) {
    return wait_report(
        from, [&](const HelperReport& r) { return r.type == "action" && r.action == action; },
        timeout);
}

bool Session::wait_until(const std::function<bool()>& condition, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

ScreenPoint Session::on_overlay(ScreenPoint offset) const {
    return {overlay_.left + offset.x, overlay_.top + offset.y};
}

std::vector<EventName> Session::events_since(std::size_t from) const {
    std::vector<EventName> events;
    std::size_t index = 0;
    reports_.each([&](const HelperReport& r) {
        if (index++ < from) return;
        if (r.type == "action") {
            events.push_back("action:" + r.action);
        } else if (r.type == "addFromClipboard" || r.type == "textDropped") {
            events.push_back(r.type);
        } else if (r.type != "state") {
            events.push_back(r.type.empty() ? std::string("unreadable line") : r.type);
        }
    });
    return events;
}

std::vector<EventName> Session::settled_events(std::size_t from, std::size_t count) {
    wait_until([&] { return events_since(from).size() >= count; }, reply_timeout);
    std::this_thread::sleep_for(settle_time);
    return events_since(from);
}

bool Session::foreground_kept(const ForegroundFacts& before, std::string& figure, bool clicked) {
    const ForegroundVerdict verdict = judge_foreground(
        before, desktop_.foreground(), helper_.pid(), clicked && desktop_.clicks_activate_anyway());
    if (!verdict.note.empty()) figure += "; " + verdict.note;
    return !verdict.taken;
}

ScreenRect Session::work_area() const {
    for (const DisplayInfo& d : displays_) {
        if (d.primary) return d.work;
    }
    return displays_.empty() ? ScreenRect{0, 0, 1024, 768} : displays_.front().work;
}

void Session::check_hello() {
    const auto hello = wait_report(0, [](const HelperReport&) { return true; }, 10s);
    if (!hello) {
        record("hello", false, "no message within 10 s of connecting");
        return;
    }
    integrity = hello->integrity.empty() ? "unknown" : hello->integrity;
    const bool known = integrity == "untrusted" || integrity == "low" || integrity == "medium" ||
                       integrity == "high" || integrity == "system";
    const bool ole = hello->ole_registered.value_or(false);
    const bool token = hello->token == token_;
    std::string figure = "integrity=" + integrity + " oleRegistered=" + (ole ? "true" : "false");
    if (hello->type != "hello") figure = "first message is not a hello: type=" + hello->type;
    if (!token) figure += " token does not match";
    record("hello", hello->type == "hello" && token && known && ole, figure);
}

void Session::check_window() {
    const bool found = wait_until([&] { return desktop_.find_overlay(helper_.pid()); }, 2s);
    const auto facts = found ? desktop_.overlay_facts() : std::nullopt;
    if (!facts) {
        record("window", false, "no window of class VestrilonTrafficOverlayV6 of the helper");
        return;
    }
    const auto faults = window_contract_faults(*facts);
    std::string figure;
    for (const std::string& fault : faults) figure += (figure.empty() ? "" : ", ") + fault;
    figure += std::string(figure.empty() ? "" : "; ") + window_summary(*facts);
    record("window", faults.empty(), figure);
}

void Session::check_first_state() {
    const auto state =
        wait_report(next_, [](const HelperReport& r) { return r.type == "state"; }, reply_timeout);
    const auto expected = expected_far_clamp(far_request, displays_);
    const bool found = desktop_.find_overlay(helper_.pid()) ||
                       wait_until([&] { return desktop_.find_overlay(helper_.pid()); }, 2s);
    const auto window = top_left(desktop_.overlay_rect());
    if (window) overlay_ = *desktop_.overlay_rect();
    const auto reported = state ? state->position : std::nullopt;
    record("first-state", found && expected && reported == expected && window == expected,
           "state=" + position_text(reported) +
               " window=" + (found ? position_text(window) : std::string("not found")) +
               " expected=" + position_text(expected) + " (asked " + point_text(far_request) + ")");
}

void Session::check_set_position() {
    std::vector<milliseconds> latencies;
    std::size_t moved = 0;
    const auto positions = latency_positions(work_area(), latency_runs);
    for (const ScreenPoint p : positions) {
        const std::size_t mark = reports_.size();
        const auto sent = Clock::now();
        send(R"({"type":"setPosition","x":)" + std::to_string(p.x) + R"(,"y":)" +
             std::to_string(p.y) + "}");
        const auto state = wait_report(
            mark, [&](const HelperReport& r) { return r.type == "state" && r.position == p; },
            reply_timeout);
        if (!state) continue;
        latencies.push_back(std::chrono::duration_cast<milliseconds>(state->at - sent));
        if (top_left(desktop_.overlay_rect()) == p) ++moved;
    }
    if (auto rect = desktop_.overlay_rect()) overlay_ = *rect;
    const Latency latency = latency_of(latencies);
    record("set-position",
           latencies.size() == positions.size() && moved == positions.size() &&
               latency_acceptable(latency),
           "median=" + std::to_string(latency.median.count()) +
               "ms worst=" + std::to_string(latency.worst.count()) + "ms reported=" +
               std::to_string(latencies.size()) + "/" + std::to_string(positions.size()) +
               " window moved=" + std::to_string(moved) + "/" + std::to_string(positions.size()));
}

void Session::check_visibility(bool visible) {
    const ForegroundFacts before = desktop_.foreground();
    const auto sent = Clock::now();
    send(std::string(R"({"type":"setVisible","visible":)") + (visible ? "true" : "false") + "}");
    const bool done =
        wait_until([&] { return desktop_.overlay_visible() == visible; }, reply_timeout);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    // Give an activation that would follow the change time to happen.
    std::this_thread::sleep_for(100ms);
    std::string figure = std::string(visible ? "shown" : "hidden") +
                         (done ? " after " + std::to_string(took.count()) + "ms" : " never");
    const bool kept = foreground_kept(before, figure, false);
    record(visible ? "set-visible-true" : "set-visible-false", done && kept, figure);
}

void Session::check_update_content() {
    const auto sent = Clock::now();
    send(self_test_content());
    ContentColours colours;
    const bool drawn = wait_until(
        [&] {
            auto capture = desktop_.capture(overlay_);
            if (!capture) return false;
            colours = content_colours(*capture);
            screenshot = std::move(capture);
            return content_drawn(colours);
        },
        reply_timeout);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    record("update-content", drawn,
           "title=" + std::to_string(colours.title) + " upload=" + std::to_string(colours.upload) +
               " download=" + std::to_string(colours.download) + " pixels" +
               (drawn ? " after " + std::to_string(took.count()) + "ms" : ""));
}

void Session::check_set_position_after_drag() {
    const ScreenRect work = work_area();
    const ScreenPoint asked{work.left + 10, work.top + 10};
    send(R"({"type":"setPosition","x":)" + std::to_string(asked.x) + R"(,"y":)" +
         std::to_string(asked.y) + "}");
    // A state sent well after the command has been applied: the next heartbeat.
    const auto applied = Clock::now() + 150ms;
    const auto state = wait_report(
        reports_.size(),
        [&](const HelperReport& r) { return r.type == "state" && r.at >= applied; }, 2500ms);
    const auto window = top_left(desktop_.overlay_rect());
    // The drop goes wherever the window is, even where it should not be.
    if (auto rect = desktop_.overlay_rect()) overlay_ = *rect;
    const bool stayed =
        state && dragged_to_ && state->position == dragged_to_ && window == dragged_to_;
    record("set-position-after-drag", stayed,
           "asked " + point_text(asked) +
               ", state=" + (state ? position_text(state->position) : std::string("none")) +
               " window=" + position_text(window) + " dragged to " + position_text(dragged_to_));
}

void Session::check_inbox() {
    // What the session caused is what the helper reported: one toggle line
    // per toggleVpn, one line per dropped link.
    std::vector<std::string> toggles;
    std::vector<std::string> domains;
    reports_.each([&](const HelperReport& r) {
        if (r.type == "action" && r.action == "toggleVpn") toggles.emplace_back("toggleVpn");
        if (r.type == "textDropped") domains.push_back(r.text);
    });
    std::string figure;
    const auto check = [&](std::string_view name, const std::vector<std::string>& caused) {
        const std::string fault = inbox_fault(file_text(vestrilon_file(name)), caused);
        figure += (figure.empty() ? "" : ", ") + std::string(name) + " " +
                  (fault.empty()
                       ? std::to_string(caused.size()) + (caused.size() == 1 ? " line" : " lines")
                       : fault);
        return fault.empty();
    };
    const bool toggled = check("pending-toggle-vpn.txt", toggles);
    const bool dropped = check("pending-tunnel-domains.txt", domains);
    record("inbox", toggled && dropped, figure);
}

void Session::check_shutdown() {
    send(R"({"type":"shutdown"})");
    const auto code = helper_.wait(helper_exit_timeout);
    const auto messages = log_messages(file_text(vestrilon_file("traffic-helper.log")));
    std::string last;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (!it->empty()) {
            last = *it;
            break;
        }
    }
    record("shutdown", code == 0 && last == "traffic helper received shutdown",
           (code ? "exit code " + std::to_string(*code) : std::string("still running after 10 s")) +
               ", last log line \"" + last + "\"");
}

bool Session::run() {
    displays_ = desktop_.displays();
    check_hello();
    check_window();
    check_first_state();
    check_set_position();
    check_visibility(false);
    check_visibility(true);
    // A covered overlay would fail the content check for no fault of the helper.
    if (!input_reaches({on_overlay({104, 20}), on_overlay({104, 57}), on_overlay({104, 58}),
                        on_overlay({150, 90}), on_overlay({60, 90}), on_overlay({70, 96})})) {
        return false;
    }
    check_update_content();
    for (const Gesture& gesture : overlay_gestures()) {
        if (gesture.name == "drag-lower-6") check_press_held();
        check_gesture(gesture);
    }
    desktop_.restore_cursor();
    check_set_position_after_drag();
    if (!input_reaches({on_overlay({104, 80})})) return false;
    check_ole_drag();
    desktop_.restore_cursor();
    check_inbox();
    check_shutdown();
    return true;
}

}  // namespace vth::peer

#include "self_test_session.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "common/os.hpp"

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t latency_runs = 20;
constexpr auto reply_timeout = 3s;
constexpr auto input_pace = 15ms;  // lets the overlay's 8 ms loop see each step
constexpr auto click_gap = 80ms;
constexpr auto helper_exit_timeout = 10s;

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

ScreenPoint Session::on_overlay(std::int32_t dx, std::int32_t dy) const {
    return {overlay_.left + dx, overlay_.top + dy};
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
    const std::uintptr_t before = desktop_.foreground();
    const auto sent = Clock::now();
    send(std::string(R"({"type":"setVisible","visible":)") + (visible ? "true" : "false") + "}");
    const bool done =
        wait_until([&] { return desktop_.overlay_visible() == visible; }, reply_timeout);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    // Give an activation that would follow the change time to happen.
    std::this_thread::sleep_for(100ms);
    const std::uintptr_t after = desktop_.foreground();
    const bool kept = after == before && (after == 0 || after != desktop_.overlay_id());
    std::string figure = std::string(visible ? "shown" : "hidden") +
                         (done ? " after " + std::to_string(took.count()) + "ms" : " never") +
                         (kept ? ", foreground kept" : ", foreground window changed") +
                         (kept && after == 0 ? " (there is no foreground window)" : "");
    if (after != 0 && after == desktop_.overlay_id()) figure += " to the overlay";
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

bool Session::input_reaches(std::initializer_list<ScreenPoint> points) {
    for (const ScreenPoint p : points) {
        if (auto astray = desktop_.input_astray(p)) {
            cannot_run = *astray;
            return false;
        }
    }
    return true;
}

void Session::wait_out_double_click() {
    const auto ready = last_left_press_ + desktop_.double_click_time() + 50ms;
    if (Clock::now() < ready) std::this_thread::sleep_until(ready);
}

std::size_t Session::click(ScreenPoint at, MouseButton button, int count) {
    if (button == MouseButton::left) wait_out_double_click();
    const std::size_t mark = reports_.size();
    (void)desktop_.move_to(at);
    std::this_thread::sleep_for(input_pace);
    // Paced like a person's clicks: the first click of a double-click is
    // reported on its own before the second arrives.
    for (int i = 0; i < count; ++i) {
        if (i > 0) std::this_thread::sleep_for(click_gap);
        (void)desktop_.press(button, true);
        std::this_thread::sleep_for(input_pace);
        (void)desktop_.press(button, false);
    }
    if (button == MouseButton::left) last_left_press_ = Clock::now();
    return mark;
}

void Session::glide(ScreenPoint from, ScreenPoint to, int steps) {
    for (int i = 1; i <= steps; ++i) {
        std::this_thread::sleep_for(input_pace);
        (void)desktop_.move_to(
            {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    }
    std::this_thread::sleep_for(input_pace);
}

void Session::check_click_top() {
    const std::size_t mark = click(on_overlay(104, 20), MouseButton::left, 1);
    const auto action = wait_action(mark, "toggleVpn", reply_timeout);
    const std::string inbox_path = vestrilon_file("pending-toggle-vpn.txt");
    // The helper appends the line before it sends the action.
    const std::string inbox = file_text(inbox_path);
    record("click-top", action && inbox == "toggleVpn\n",
           std::string(action ? "action=toggleVpn" : "no toggleVpn action") +
               (inbox == "toggleVpn\n" ? ", inbox line toggleVpn"
                                       : ", inbox holds " + std::to_string(inbox.size()) +
                                             " bytes, not one toggleVpn line"));
}

void Session::check_click(std::string_view name, ScreenPoint at, MouseButton button,
                          std::string_view action) {
    const std::size_t mark = click(at, button, 1);
    const auto report = wait_action(mark, action, reply_timeout);
    record(name, report.has_value(),
           report ? "action=" + std::string(action) + " at " + position_text(report->position)
                  : "no " + std::string(action) + " action within 3 s");
}

void Session::check_double_click() {
    const std::size_t mark = click(on_overlay(70, 96), MouseButton::left, 2);
    const auto restore = wait_action(mark, "restoreMain", reply_timeout);
    const auto add = wait_report(
        restore ? next_ : mark, [](const HelperReport& r) { return r.type == "addFromClipboard"; },
        reply_timeout);
    record("double-click-lower", restore && add,
           std::string(restore ? "restoreMain" : "no restoreMain") +
               (add ? " then addFromClipboard" : ", no addFromClipboard after it"));
}

void Session::check_drag() {
    const ScreenPoint origin{overlay_.left, overlay_.top};
    const ScreenPoint start = on_overlay(60, 80);
    const std::int32_t direction = overlay_.right + 80 < work_area().right ? 1 : -1;
    const ScreenPoint end{start.x + 60 * direction, start.y};
    wait_out_double_click();
    const std::size_t mark = reports_.size();
    (void)desktop_.move_to(start);
    std::this_thread::sleep_for(input_pace);
    const ScreenPoint pressed = desktop_.cursor();
    (void)desktop_.press(MouseButton::left, true);
    glide(start, end, 10);
    const ScreenPoint released = desktop_.cursor();
    (void)desktop_.press(MouseButton::left, false);
    last_left_press_ = Clock::now();
    const ScreenPoint expected{origin.x + released.x - pressed.x,
                               origin.y + released.y - pressed.y};
    const auto action = wait_action(mark, "dragEnded", reply_timeout);
    const auto window = top_left(desktop_.overlay_rect());
    if (auto rect = desktop_.overlay_rect()) overlay_ = *rect;
    dragged_to_ = window;
    record(
        "drag-lower", action && action->position == expected && window == expected,
        std::string(action ? "dragEnded at " + position_text(action->position) : "no dragEnded") +
            " window=" + position_text(window) + " expected=" + point_text(expected));
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

std::optional<HelperReport> Session::drag_over_overlay(ScreenPoint source, std::size_t mark,
                                                       milliseconds& hover_after) {
    const ScreenPoint target = on_overlay(104, 80);
    wait_out_double_click();
    (void)desktop_.move_to(source);
    std::this_thread::sleep_for(input_pace);
    (void)desktop_.press(MouseButton::left, true);
    glide(source, target, 12);
    const auto arrived = Clock::now();
    std::optional<HelperReport> hover;
    // Small moves over the target keep the drag loop calling DragOver.
    for (int i = 0; i < 60 && !hover; ++i) {
        (void)desktop_.move_to({target.x + (i % 2), target.y});
        hover = wait_report(
            mark, [](const HelperReport& r) { return r.type == "state" && r.hovering == true; },
            50ms);
    }
    hover_after = std::chrono::duration_cast<milliseconds>(Clock::now() - arrived);
    (void)desktop_.press(MouseButton::left, false);
    last_left_press_ = Clock::now();
    return hover;
}

void Session::check_ole_drag() {
    const std::string url = self_test_url(token_);
    const ScreenRect place = drag_source_place(overlay_, work_area());
    const std::size_t mark = reports_.size();
    auto opened = desktop_.open_drag_source(place, url);
    std::optional<HelperReport> hover;
    milliseconds hover_after{0};
    if (opened) {
        const ScreenPoint source{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
        hover = drag_over_overlay(source, mark, hover_after);
    }
    record("ole-drag-hover", hover.has_value(),
           !opened ? "no drag source: " + opened.error().text
           : hover ? "hovering=true after " + std::to_string(hover_after.count()) +
                         "ms over the overlay"
                   : "no state with hovering=true while over the overlay");
    const auto outcome = opened ? desktop_.drag_outcome(5s) : std::nullopt;
    check_drop(url, mark, outcome);
    desktop_.close_drag_source();
}

void Session::check_drop(const std::string& url, std::size_t mark,
                         const std::optional<DragOutcome>& outcome) {
    const auto dropped = wait_report(
        mark, [](const HelperReport& r) { return r.type == "textDropped"; }, reply_timeout);
    const std::string log_line = drop_log_line(url);
    bool logged = false;
    bool inboxed = false;
    // The helper logs the drop before it sends it; the inbox line is
    // written at the drop, before either.
    wait_until(
        [&] {
            const auto messages = log_messages(file_text(vestrilon_file("traffic-helper.log")));
            logged = std::find(messages.begin(), messages.end(), log_line) != messages.end();
            inboxed = file_text(vestrilon_file("pending-tunnel-domains.txt")) == url + "\n";
            return logged && inboxed;
        },
        1s);
    const bool text = dropped && dropped->text == url;
    std::string figure = dropped
                             ? (text ? "textDropped " + url
                                     : "textDropped " + dropped->text + " (offered " + url + ")")
                             : "no textDropped";
    figure += outcome ? " effect=" + std::to_string(outcome->effect) : " drag did not end";
    figure += logged ? ", log line" : ", no log line";
    figure += inboxed ? ", inbox line" : ", no inbox line";
    record("ole-drop", text && logged && inboxed, figure);
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
    check_first_state();
    check_set_position();
    check_visibility(false);
    check_visibility(true);
    check_update_content();
    if (!input_reaches(
            {on_overlay(104, 20), on_overlay(104, 90), on_overlay(70, 96), on_overlay(60, 80)})) {
        return false;
    }
    check_click_top();
    check_click("click-lower", on_overlay(104, 90), MouseButton::left, "restoreMain");
    check_click("right-click", on_overlay(150, 90), MouseButton::right, "hideToTray");
    check_double_click();
    check_drag();
    desktop_.restore_cursor();
    check_set_position_after_drag();
    if (!input_reaches({on_overlay(104, 80)})) return false;
    check_ole_drag();
    desktop_.restore_cursor();
    check_shutdown();
    return true;
}

}  // namespace vth::peer

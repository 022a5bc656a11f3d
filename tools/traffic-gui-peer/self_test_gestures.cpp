// The self-test's gestures on the overlay: clicks, double-clicks, presses
// held and moved, each judged by exactly the events it caused.
#include <cstdlib>
#include <thread>

#include "self_test_session.hpp"

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

constexpr auto interacting_timeout = 2s;
constexpr auto held_time = 400ms;
// Longer than the heartbeat at rest, so one comes in it.
constexpr auto rest_time = 1100ms;

std::string point_text(ScreenPoint p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

std::optional<ScreenPoint> top_left(const std::optional<ScreenRect>& rect) {
    if (!rect) return std::nullopt;
    return ScreenPoint{rect->left, rect->top};
}

std::string events_text(std::span<const EventName> events) {
    std::string text;
    for (const EventName& e : events) text += (text.empty() ? "" : ", ") + e;
    return text.empty() ? "no events" : text;
}

bool is_state(const HelperReport& r) {
    return r.type == "state";
}

}  // namespace

std::vector<Gesture> overlay_gestures() {
    const MouseButton left = MouseButton::left;
    return {
        // Row 57 is the last of the top zone, row 58 the first of the lower one.
        {"click-top-edge", {104, 57}, left, 1, 0, {"action:toggleVpn"}, false},
        {"click-lower-edge", {104, 58}, left, 1, 0, {"action:restoreMain"}, false},
        {"right-click", {150, 90}, MouseButton::right, 1, 0, {"action:hideToTray"}, false},
        {"double-click-lower",
         {70, 96},
         left,
         2,
         0,
         {"action:restoreMain", "addFromClipboard"},
         false},
        {"double-click-top", {70, 20}, left, 2, 0, {"action:toggleVpn"}, false},
        // One pixel short of the lower zone's drag threshold, and well short
        // of the top zone's.
        {"move-lower-5", {60, 90}, left, 1, 5, {"action:restoreMain"}, false},
        {"move-top-20", {60, 20}, left, 1, 20, {"action:toggleVpn"}, false},
        {"drag-lower-6", {60, 90}, left, 1, 6, {"action:dragEnded"}, true},
    };
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

std::optional<std::size_t> Session::press_and_hold(ScreenPoint at, MouseButton button) {
    (void)desktop_.move_to(at);
    std::this_thread::sleep_for(input_pace);
    const std::size_t mark = reports_.size();
    (void)desktop_.press(button, true);
    // A busy machine may see the press late; a move before it would shift
    // the press point and change the gesture.
    return reports_.wait_for(
        mark, [](const HelperReport& r) { return is_state(r) && r.interacting == true; },
        Clock::now() + interacting_timeout);
}

void Session::release(MouseButton button) {
    (void)desktop_.press(button, false);
    if (button == MouseButton::left) last_left_press_ = Clock::now();
}

void Session::glide(ScreenPoint from, ScreenPoint to, int steps) {
    for (int i = 1; i <= steps; ++i) {
        std::this_thread::sleep_for(input_pace);
        (void)desktop_.move_to(
            {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    }
    std::this_thread::sleep_for(input_pace);
}

void Session::check_gesture(const Gesture& gesture) {
    const ScreenPoint at = on_overlay(gesture.offset);
    const ScreenPoint origin{overlay_.left, overlay_.top};
    // Away from the work area's right edge, so a drag stays on the display.
    const std::int32_t side = overlay_.right + 40 < work_area().right ? 1 : -1;
    if (gesture.button == MouseButton::left) wait_out_double_click();
    const ForegroundFacts before = desktop_.foreground();
    const std::size_t mark = reports_.size();
    std::string figure;
    bool pressed_well = true;
    ScreenPoint moved{0, 0};
    if (gesture.move != 0) {
        const bool held = press_and_hold(at, gesture.button).has_value();
        const ScreenPoint pressed = desktop_.cursor();
        if (held) {
            (void)desktop_.move_to({at.x + gesture.move * side, at.y});
            std::this_thread::sleep_for(input_pace);
            const ScreenPoint now = desktop_.cursor();
            moved = {now.x - pressed.x, now.y - pressed.y};
        }
        release(gesture.button);
        if (!held) figure = "no state with interacting=true after the press; ";
        if (held && (std::abs(moved.x) != gesture.move || moved.y != 0)) {
            figure += "the pointer moved by " + point_text(moved) + "; ";
        }
        pressed_well = held && std::abs(moved.x) == gesture.move && moved.y == 0;
    } else {
        (void)desktop_.move_to(at);
        std::this_thread::sleep_for(input_pace);
        // Paced like a person's clicks: the first click of a double-click is
        // reported on its own before the second arrives.
        for (int i = 0; i < gesture.clicks; ++i) {
            if (i > 0) std::this_thread::sleep_for(click_gap);
            (void)desktop_.press(gesture.button, true);
            std::this_thread::sleep_for(input_pace);
            release(gesture.button);
        }
    }
    const auto events = settled_events(mark, gesture.expected.size());
    const std::string difference = events_difference(events, gesture.expected);
    figure += difference.empty() ? events_text(events) : difference;

    const auto window = top_left(desktop_.overlay_rect());
    const ScreenPoint expected =
        gesture.window_moves ? ScreenPoint{origin.x + moved.x, origin.y + moved.y} : origin;
    bool placed = window == expected;
    if (gesture.window_moves) {
        const auto ended = wait_action(mark, "dragEnded", 0ms);
        placed = placed && ended && ended->position == expected;
        dragged_to_ = window;
        figure += ended && ended->position ? " at " + point_text(*ended->position) : "";
    }
    if (gesture.move != 0 || !placed) {
        figure += " window=" + (window ? point_text(*window) : std::string("none")) +
                  " expected=" + point_text(expected);
    }
    if (auto rect = desktop_.overlay_rect()) overlay_ = *rect;
    const bool kept = foreground_kept(before, figure);
    record(gesture.name, pressed_well && difference.empty() && placed && kept, figure);
}

void Session::check_press_held() {
    wait_out_double_click();
    const ForegroundFacts before = desktop_.foreground();
    const std::size_t mark = reports_.size();
    const auto on = press_and_hold(on_overlay({150, 100}), MouseButton::left);
    if (on) std::this_thread::sleep_for(held_time);
    release(MouseButton::left);
    const auto off = reports_.wait_for(
        on.value_or(mark),
        [](const HelperReport& r) { return is_state(r) && r.interacting == false; },
        Clock::now() + interacting_timeout);
    std::this_thread::sleep_for(rest_time);
    const auto rested = Clock::now();

    StateRate rate;
    std::size_t not_interacting = 0;
    std::size_t index = 0;
    std::optional<Clock::time_point> on_at;
    std::optional<Clock::time_point> last_held;
    std::optional<Clock::time_point> off_at;
    // Under the list's lock: nothing in here may call back into the list.
    reports_.each([&](const HelperReport& r) {
        const std::size_t i = index++;
        if (!is_state(r) || !on || i < *on) return;
        if (i == *on) on_at = r.at;
        if (!off || i < *off) {
            ++rate.held_reports;
            if (r.interacting != true) ++not_interacting;
            if (last_held) {
                rate.worst_held_gap =
                    std::max(rate.worst_held_gap,
                             std::chrono::duration_cast<milliseconds>(r.at - *last_held));
            }
            last_held = r.at;
        } else if (i == *off) {
            off_at = r.at;
            if (on_at) rate.held_for = std::chrono::duration_cast<milliseconds>(r.at - *on_at);
        } else {
            ++rate.rest_reports;
        }
    });
    if (off_at) rate.rest_for = std::chrono::duration_cast<milliseconds>(rested - *off_at);
    const std::vector<EventName> expected{"action:restoreMain"};
    const std::string difference = events_difference(events_since(mark), expected);
    std::string fault = !on    ? "no state with interacting=true while the button was held"
                        : !off ? "no state with interacting=false after the release"
                               : state_rate_fault(rate);
    if (not_interacting > 0) {
        fault += (fault.empty() ? "" : "; ") + std::to_string(not_interacting) +
                 " states held said interacting=false";
    }
    std::string figure = fault.empty()
                             ? std::to_string(rate.held_reports) + " states in " +
                                   std::to_string(rate.held_for.count()) + "ms held (worst gap " +
                                   std::to_string(rate.worst_held_gap.count()) + "ms), " +
                                   std::to_string(rate.rest_reports) + " in " +
                                   std::to_string(rate.rest_for.count()) + "ms at rest"
                             : fault;
    figure += "; " + (difference.empty() ? std::string("then restoreMain") : difference);
    const bool kept = foreground_kept(before, figure);
    record("press-held", fault.empty() && difference.empty() && kept, figure);
}

}  // namespace vth::peer

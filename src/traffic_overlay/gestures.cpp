#include "traffic_overlay/gestures.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vth {
namespace {

std::int32_t wrapping_difference(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t wrapping_sum(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

bool in_top_zone(ScreenPoint cursor, std::int32_t window_top) {
    auto row = static_cast<std::uint32_t>(wrapping_difference(cursor.y, window_top));
    return row < static_cast<std::uint32_t>(top_zone_height);
}

float pointer_distance(ScreenPoint from, ScreenPoint to) {
    std::int64_t dx = wrapping_difference(to.x, from.x);
    std::int64_t dy = wrapping_difference(to.y, from.y);
    std::int64_t squares =
        std::min<std::int64_t>(dx * dx + dy * dy, std::numeric_limits<std::int32_t>::max());
    return std::sqrt(static_cast<float>(static_cast<std::int32_t>(squares)));
}

bool gesture_press(GestureState& state, std::optional<ScreenPoint> cursor,
                   std::optional<ScreenPoint> window_origin) {
    if (!cursor || !window_origin) return false;
    state.press = Press{*cursor, *window_origin};
    state.press_in_top_zone = in_top_zone(*cursor, window_origin->y);
    state.dragging = false;
    return true;
}

std::optional<ScreenPoint> gesture_move(GestureState& state, std::optional<ScreenPoint> cursor) {
    if (!state.press || !cursor) return std::nullopt;
    const Press& press = *state.press;
    float threshold = state.press_in_top_zone ? top_zone_drag_threshold : lower_zone_drag_threshold;
    if (!state.dragging && pointer_distance(press.point, *cursor) >= threshold) {
        state.dragging = true;
        state.user_moved = true;
    }
    if (!state.dragging) return std::nullopt;
    return ScreenPoint{wrapping_sum(press.origin.x, wrapping_difference(cursor->x, press.point.x)),
                       wrapping_sum(press.origin.y, wrapping_difference(cursor->y, press.point.y))};
}

void gesture_release(GestureState& state, std::optional<ScreenPoint> cursor) {
    if (state.dragging) state.drag_ended = true;
    if (!cursor) {
        // The button is up and the capture gone whatever the cursor reads, so
        // the gesture ends; where it ended is unknown, so no click is raised,
        // only the drag that did move the window.
        if (state.dragging) state.pending_action = OverlayAction::DragEnded;
        state.double_click_seen = false;
        state.press.reset();
        state.press_in_top_zone = false;
        state.dragging = false;
        return;
    }
    bool near = true;
    if (state.press) near = pointer_distance(state.press->point, *cursor) < near_release_distance;
    if (state.dragging && !(near && state.press_in_top_zone)) {
        state.user_moved = true;
        state.pending_action = OverlayAction::DragEnded;
    } else if (state.double_click_seen) {
        state.double_click_seen = false;
    } else if (!state.double_click_pending) {
        state.pending_action =
            state.press_in_top_zone ? OverlayAction::ToggleVpn : OverlayAction::RestoreMain;
    }
    state.press.reset();
    state.press_in_top_zone = false;
    state.dragging = false;
}

void gesture_double_click(GestureState& state, std::optional<ScreenPoint> cursor,
                          std::optional<ScreenPoint> window_origin) {
    if (!cursor || !window_origin) return;
    if (in_top_zone(*cursor, window_origin->y)) {
        state.double_click_pending = false;
    } else {
        state.pending_action = OverlayAction::none;
        state.press.reset();
        state.dragging = false;
        state.double_click_pending = true;
    }
    state.double_click_seen = true;
}

void gesture_right_press(GestureState& state) {
    state.right_button_down = true;
}

void gesture_right_release(GestureState& state) {
    if (state.right_button_down) state.pending_action = OverlayAction::HideToTray;
    state.right_button_down = false;
}

bool gesture_interacting(const GestureState& state) {
    return state.dragging || state.press.has_value();
}

}  // namespace vth

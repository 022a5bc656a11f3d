#pragma once
// What the mouse does to the overlay: presses, moves, releases,
// double-clicks and the right button, as pure functions over the gesture
// state, the cursor and the window's outer top-left. The window procedure
// reads the cursor and the window rectangle, captures or releases the mouse,
// moves the window, and calls these; every decision is made here. A cursor or
// rectangle the system could not read (another desktop has the input: lock
// screen, secure attention, an elevation prompt) arrives as nothing and leaves
// the state as it was, except at a release, which ends the gesture.
#include <cstdint>
#include <optional>

#include "common/screen_point.hpp"
#include "traffic_overlay/overlay_state.hpp"

namespace vth {

inline constexpr std::int32_t top_zone_height = 58;
inline constexpr float lower_zone_drag_threshold = 6.0F;
inline constexpr float top_zone_drag_threshold = 48.0F;
inline constexpr float near_release_distance = 48.0F;

// The cursor's row relative to the window's outer top, compared unsigned, so
// a point above the window belongs to the lower zone.
bool in_top_zone(ScreenPoint cursor, std::int32_t window_top);

// Euclidean distance: squares summed as 32-bit integers (saturating instead
// of wrapping where a difference is huge), then a single-precision root.
float pointer_distance(ScreenPoint from, ScreenPoint to);

// Left button down. True when the press was recorded; the caller then
// captures the mouse.
bool gesture_press(GestureState& state, std::optional<ScreenPoint> cursor,
                   std::optional<ScreenPoint> window_origin);

// Mouse move. Returns the window's new outer top-left while dragging.
std::optional<ScreenPoint> gesture_move(GestureState& state, std::optional<ScreenPoint> cursor);

// Left button up; the caller has released the capture. With the cursor
// unreadable the gesture still ends: a drag reports DragEnded, a press no click.
void gesture_release(GestureState& state, std::optional<ScreenPoint> cursor);

// Left double-click, arriving in place of the second press; the caller
// releases the capture afterwards.
void gesture_double_click(GestureState& state, std::optional<ScreenPoint> cursor,
                          std::optional<ScreenPoint> window_origin);

void gesture_right_press(GestureState& state);
void gesture_right_release(GestureState& state);

// The left button is held on the overlay or a drag is in progress.
bool gesture_interacting(const GestureState& state);

}  // namespace vth

#pragma once
// Keeping the overlay on a display that exists: the whole decision, as pure
// functions of the requested top-left corner and the displays' work areas.
// No state; callable from any thread.
#include <cstdint>
#include <span>

#include "traffic_overlay/overlay_state.hpp"

namespace vth {

// One display's work area (less taskbar and docked bars), virtual-screen pixels.
struct DisplayBounds {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The position at which the whole overlay lies inside the display it
// overlaps most (or, touching none, the nearest one), moved as little as
// possible. Displays earlier in the list win ties; empty work areas are
// ignored; with no usable display the request stands. Sums saturate at the
// 32-bit limits.
ScreenPoint clamp_overlay_position(ScreenPoint requested, std::span<const DisplayBounds> displays);

// clamp_overlay_position, raising the "position clamped" diagnostic event
// when the result differs from the request.
ScreenPoint clamp_and_report(ScreenPoint requested, std::span<const DisplayBounds> displays);

}  // namespace vth

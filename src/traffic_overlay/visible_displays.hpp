#pragma once
// Clamping against the displays connected right now. Windows enumerates the
// monitors' work areas on every call; the native build has no displays and
// returns the request unchanged.
#include "traffic_overlay/overlay_state.hpp"

namespace vth {

// Cannot fail; any thread.
ScreenPoint clamp_to_visible_displays(ScreenPoint requested);

}  // namespace vth

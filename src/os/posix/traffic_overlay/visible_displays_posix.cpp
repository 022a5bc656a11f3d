#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth {

// No displays to enumerate: the request stands, as it does on Windows when
// no work area is usable.
ScreenPoint clamp_to_visible_displays(ScreenPoint requested) {
    return clamp_and_report(requested, {});
}

}  // namespace vth

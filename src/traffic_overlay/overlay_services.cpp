#include "common/os.hpp"
#include "traffic_overlay/overlay_window.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth {

OverlayServices system_overlay_services() {
    return OverlayServices{
        .clamp = [](ScreenPoint requested) { return clamp_to_visible_displays(requested); },
        .open_window = open_system_overlay_window,
        .now = [] { return std::chrono::steady_clock::now(); },
        .sleep = [](std::chrono::milliseconds duration) { os::sleep_for(duration); },
    };
}

}  // namespace vth

#include "os/win/traffic_overlay/visible_displays_win.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth::win {
namespace {

static_assert(sizeof(MONITORINFO) == 40);

std::int32_t span_of(LONG from, LONG to) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        static_cast<std::int64_t>(to) - from, std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

BOOL CALLBACK enum_monitor_proc(HMONITOR monitor, HDC, LPRECT, LPARAM data) noexcept {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    const RECT& work = info.rcWork;
    const DisplayBounds bounds{work.left, work.top, span_of(work.left, work.right),
                               span_of(work.top, work.bottom)};
    if (bounds.width > 0 && bounds.height > 0) {
        try {
            reinterpret_cast<std::vector<DisplayBounds>*>(data)->push_back(bounds);
        } catch (...) {
            // Out of memory: the monitor is left out, as one whose information cannot be read.
        }
    }
    return TRUE;
}

}  // namespace vth::win

namespace vth {

ScreenPoint clamp_to_visible_displays(ScreenPoint requested) {
    std::vector<DisplayBounds> displays;
    EnumDisplayMonitors(nullptr, nullptr, win::enum_monitor_proc,
                        reinterpret_cast<LPARAM>(&displays));
    return clamp_and_report(requested, displays);
}

}  // namespace vth

#pragma once
// The connected displays' work areas, for clamp_to_visible_displays.
#include <windows.h>

namespace vth::win {

// EnumDisplayMonitors callback: data points to a std::vector<DisplayBounds>;
// appends the monitor's work area when it is readable and not empty.
// Always continues the enumeration.
BOOL CALLBACK enum_monitor_proc(HMONITOR monitor, HDC dc, LPRECT clip, LPARAM data) noexcept;

}  // namespace vth::win

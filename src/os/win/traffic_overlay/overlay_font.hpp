#pragma once
#include "os/win/traffic_overlay/gdi_owned.hpp"

namespace vth::win {

// The overlay's 11-pixel anti-aliased text font in the first Segoe UI face
// that is installed (EnumFontFamiliesExW finds it). Empty when none is.
GdiFont create_overlay_font() noexcept;

}  // namespace vth::win

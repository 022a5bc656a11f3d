#pragma once
#include "os/win/traffic_overlay/gdi_owned.hpp"

namespace vth::win {

// The overlay's 11-pixel anti-aliased text font in the first Segoe UI face
// that is installed (EnumFontFamiliesExW finds it at the process's first
// call; later calls reuse that face). Empty when none is. Any thread; the
// caller owns the font.
GdiFont create_overlay_font() noexcept;

}  // namespace vth::win

#pragma once
#include "os/win/traffic_overlay/gdi_owned.hpp"

namespace vth::win {

// The overlay's 11-pixel anti-aliased text font: the first Segoe UI face the
// system creates. Empty when none could be created.
GdiFont create_overlay_font() noexcept;

}  // namespace vth::win

#pragma once
// The fingerprint the overlay thread compares to decide whether new content
// needs a redraw: texts, feedback, drop hover, the sample count and the last
// sample (rates to 0.1 and time to 0.2 of the GUI's units) only. Pure; any
// thread.
#include <cstdint>

#include "traffic_overlay/overlay_content.hpp"

namespace vth {

std::uint64_t content_hash(const OverlayContent& content);

// v truncated toward zero, saturating at the signed 64-bit range; NaN gives 0.
std::int64_t saturating_truncate(double v);

}  // namespace vth

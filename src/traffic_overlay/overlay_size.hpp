#pragma once
// The overlay window's fixed size in physical pixels; it is never scaled.
#include <cstdint>

namespace vth {

inline constexpr std::int32_t OVERLAY_WIDTH = 208;
inline constexpr std::int32_t OVERLAY_HEIGHT = 132;

}  // namespace vth

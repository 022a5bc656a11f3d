#pragma once
#include <cstdint>

namespace vth {

// A point in virtual-screen physical pixels.
struct ScreenPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

}  // namespace vth

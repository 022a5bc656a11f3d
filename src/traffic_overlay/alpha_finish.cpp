#include "traffic_overlay/alpha_finish.hpp"

#include <algorithm>
#include <cstring>

namespace vth {
namespace {

// floor(x / 255) for x up to 255 * 255, without a division.
constexpr unsigned div255(unsigned x) {
    return (x + 1 + (x >> 8)) >> 8;
}

}  // namespace

void finish_alpha(CanvasView canvas) {
    for (std::size_t i = 0; i < CANVAS_BYTES; i += 4) {
        std::uint32_t px;
        std::memcpy(&px, canvas.data() + i, 4);
        const unsigned b = px & 0xFF, g = (px >> 8) & 0xFF, r = (px >> 16) & 0xFF, a = px >> 24;
        const unsigned hi = std::max(b, std::max(g, r));
        const unsigned lo = std::min(b, std::min(g, r));
        const unsigned bright_grey = (hi - lo < 40 && hi >= 240) ? hi : a;
        const unsigned alpha = a <= 1 ? std::max(hi, 1u) : bright_grey;
        px = div255(b * alpha) | div255(g * alpha) << 8 | div255(r * alpha) << 16 | alpha << 24;
        std::memcpy(canvas.data() + i, &px, 4);
    }
}

}  // namespace vth

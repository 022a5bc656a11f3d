#include "traffic_overlay/alpha_finish.hpp"

#include <algorithm>

namespace vth {

void finish_alpha(CanvasView canvas) {
    for (std::size_t i = 0; i < CANVAS_BYTES; i += 4) {
        std::uint8_t* p = canvas.data() + i;
        const std::uint8_t hi = std::max({p[0], p[1], p[2]});
        const std::uint8_t lo = std::min({p[0], p[1], p[2]});
        if (p[3] <= 1) {
            p[3] = std::max(hi, std::uint8_t{1});
        } else if (hi - lo < 40 && hi >= 240) {
            p[3] = hi;
        }
        const unsigned alpha = p[3];
        for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(p[k] * alpha / 255u);
    }
}

}  // namespace vth

#include "traffic_overlay/text_composite.hpp"

#include <algorithm>
#include <limits>

namespace vth {
namespace {

// Differences of two 32-bit edges can exceed the 32-bit range.
std::int32_t extent(std::int32_t from, std::int32_t to) {
    const std::int64_t d = static_cast<std::int64_t>(to) - from;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(d, 1, std::numeric_limits<std::int32_t>::max()));
}

void blend_pixel(std::uint8_t* p, unsigned a, const unsigned (&bgr)[3]) {
    const unsigned rest = (255u - a) * p[3];
    const unsigned e = a + rest / 255u;
    for (int k = 0; k < 3; ++k) {
        const unsigned c = (a * bgr[k] + p[k] * rest / 255u) / e;
        p[k] = static_cast<std::uint8_t>(std::min(255u, c));
    }
    p[3] = static_cast<std::uint8_t>(std::min(255u, e));
}

}  // namespace

ScratchSize scratch_size(const TextRect& rect) {
    return {extent(rect.left, rect.right), extent(rect.top, rect.bottom)};
}

void composite_text_coverage(CanvasView canvas, const TextRect& rect,
                             std::span<const std::uint8_t> scratch, ScratchSize size,
                             ColorRef colour) {
    if (size.width < 1 || size.height < 1) return;
    const auto w = static_cast<std::size_t>(size.width);
    const auto h = static_cast<std::size_t>(size.height);
    if (scratch.size() / 4 / w < h) return;
    const unsigned bgr[3] = {blue_of(colour), green_of(colour), red_of(colour)};
    for (std::int64_t y = 0; y < size.height; ++y) {
        const std::int64_t tr = rect.top + y;
        if (tr < 0 || tr >= OVERLAY_HEIGHT) continue;
        for (std::int64_t x = 0; x < size.width; ++x) {
            const std::int64_t tc = rect.left + x;
            if (tc < 0 || tc >= OVERLAY_WIDTH) continue;
            const std::uint8_t* s =
                scratch.data() +
                (static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)) * 4;
            const unsigned a = std::max({s[0], s[1], s[2]});
            if (a == 0) continue;
            blend_pixel(canvas.data() + pixel_offset(static_cast<std::int32_t>(tc),
                                                     static_cast<std::int32_t>(tr)),
                        a, bgr);
        }
    }
}

}  // namespace vth

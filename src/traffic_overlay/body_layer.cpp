#include "traffic_overlay/body_layer.hpp"

#include <algorithm>

namespace vth {
namespace {

constexpr std::int32_t corner_radius = 8;

// Pixels of the four corner squares lie inside the body only within the
// radius of their corner's centre.
bool inside_body(std::int32_t c, std::int32_t r) {
    const bool left = c < corner_radius;
    const bool right = c >= OVERLAY_WIDTH - corner_radius;
    const bool top = r < corner_radius;
    const bool bottom = r >= OVERLAY_HEIGHT - corner_radius;
    if (!(left || right) || !(top || bottom)) return true;
    const std::int32_t cx = left ? corner_radius : OVERLAY_WIDTH - 1 - corner_radius;
    const std::int32_t cy = top ? corner_radius : OVERLAY_HEIGHT - 1 - corner_radius;
    return (c - cx) * (c - cx) + (r - cy) * (r - cy) <= corner_radius * corner_radius;
}

std::uint8_t tint_channel(std::uint8_t old, std::uint8_t tint) {
    return static_cast<std::uint8_t>((old * 219u + tint * 36u) / 255u);
}

}  // namespace

void paint_body(CanvasView canvas, bool drop_hover) {
    std::ranges::fill(canvas, std::uint8_t{0});
    for (std::int32_t r = 0; r < OVERLAY_HEIGHT; ++r) {
        for (std::int32_t c = 0; c < OVERLAY_WIDTH; ++c) {
            if (!inside_body(c, r)) continue;
            std::uint8_t* p = canvas.data() + pixel_offset(c, r);
            p[0] = 86;
            p[1] = 62;
            p[2] = 46;
            p[3] = 128;
        }
    }
    if (!drop_hover) return;
    for (std::size_t i = 0; i < CANVAS_BYTES; i += 4) {
        std::uint8_t* p = canvas.data() + i;
        if (p[3] < 8) continue;
        p[0] = tint_channel(p[0], 120);
        p[1] = tint_channel(p[1], 190);
        p[2] = tint_channel(p[2], 45);
    }
}

}  // namespace vth

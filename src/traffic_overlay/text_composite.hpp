#pragma once
// Blending one rasterised text line into the straight-alpha canvas: the
// platform renders the text white on black into a scratch bitmap, and its
// brightness is taken as the glyphs' coverage.
#include <cstdint>
#include <span>

#include "traffic_overlay/canvas.hpp"

namespace vth {

struct ScratchSize {
    std::int32_t width = 1;
    std::int32_t height = 1;
};

// The scratch bitmap for rect: its width and height, at least 1 each, so an
// empty or inverted rectangle still gets a 1 x 1 bitmap.
ScratchSize scratch_size(const TextRect& rect);

// Composites scratch (size.width x size.height BGRA pixels, rows top-down)
// at rect's top-left in colour. Pixels outside the canvas are never touched;
// a scratch buffer smaller than size says is ignored.
void composite_text_coverage(CanvasView canvas, const TextRect& rect,
                             std::span<const std::uint8_t> scratch, ScratchSize size,
                             ColorRef colour);

}  // namespace vth

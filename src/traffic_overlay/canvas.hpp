#pragma once
// The overlay picture's pixel memory: 208 x 132, rows top-down, bytes blue,
// green, red, alpha. Straight alpha while layers are painted; finish_alpha
// turns it into the premultiplied form the layered window presents.
// The painting functions keep no state: any thread may call them on memory
// it owns.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "traffic_overlay/overlay_size.hpp"

namespace vth {

inline constexpr std::size_t CANVAS_STRIDE = static_cast<std::size_t>(OVERLAY_WIDTH) * 4;
inline constexpr std::size_t CANVAS_BYTES =
    CANVAS_STRIDE * static_cast<std::size_t>(OVERLAY_HEIGHT);

// Borrowed pixel memory (a DIB section or a Canvas); never owned.
using CanvasView = std::span<std::uint8_t, CANVAS_BYTES>;
// A canvas of one's own, for the tool, tests and benchmarks.
using Canvas = std::array<std::uint8_t, CANVAS_BYTES>;

// A Windows colour reference, 0x00BBGGRR.
using ColorRef = std::uint32_t;

constexpr ColorRef rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) |
           (static_cast<ColorRef>(b) << 16);
}
constexpr std::uint8_t red_of(ColorRef c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
constexpr std::uint8_t green_of(ColorRef c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
constexpr std::uint8_t blue_of(ColorRef c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

// Byte offset of a pixel; the caller keeps column and row inside the canvas.
constexpr std::size_t pixel_offset(std::int32_t column, std::int32_t row) {
    return static_cast<std::size_t>(row) * CANVAS_STRIDE + static_cast<std::size_t>(column) * 4;
}

// Left, top, right, bottom in canvas pixels; right and bottom exclusive.
struct TextRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

}  // namespace vth

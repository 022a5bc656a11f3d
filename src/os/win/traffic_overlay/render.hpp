#pragma once
// Drawing the overlay picture with GDI and presenting it on the layered
// window. Everything but the font face (chosen once per process) is built
// afresh on each call. Overlay thread only.
#include <windows.h>

#include <functional>

#include "traffic_overlay/canvas.hpp"
#include "traffic_overlay/overlay_content.hpp"

namespace vth::win {

// Draws content and presents it with UpdateLayeredWindow. Failures are
// silent and leave the previous picture on screen.
void render(HWND window, const OverlayContent& content) noexcept;

// Paints every layer, text included, into canvas, the pixel memory of the
// DIB selected into memory_dc; the result is premultiplied.
void paint_overlay(HDC memory_dc, CanvasView canvas, const OverlayContent& content) noexcept;

// Obtains the screen DC, a memory DC and a selected 208 x 132 DIB, calls use
// with them and releases everything in reverse order. False, without
// calling use, when any of them cannot be had.
using SurfaceUse = std::function<void(HDC screen_dc, HDC memory_dc, CanvasView canvas)>;
bool with_overlay_surface(const SurfaceUse& use) noexcept;

}  // namespace vth::win

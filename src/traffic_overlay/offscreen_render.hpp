#pragma once
// The overlay picture without a window, for the tool: exactly the bytes
// render would present for this content. The Windows build draws the text
// with GDI; the native build has no GDI and leaves the text lines out.
#include "traffic_overlay/canvas.hpp"
#include "traffic_overlay/overlay_content.hpp"

namespace vth {

// Fills out with the premultiplied picture; false when the platform could
// not provide a drawing surface (out is then unspecified).
bool render_offscreen(const OverlayContent& content, CanvasView out);

// Whether render_offscreen draws the text lines in this build.
bool offscreen_draws_text() noexcept;

}  // namespace vth

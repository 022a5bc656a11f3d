#include "traffic_overlay/offscreen_render.hpp"
#include "traffic_overlay/paint_overlay.hpp"

namespace vth {

// No text rasteriser natively: every layer but the text lines.
bool render_offscreen(const OverlayContent& content, CanvasView out) {
    paint_overlay(out, content, nullptr);
    return true;
}

bool offscreen_draws_text() noexcept {
    return false;
}

}  // namespace vth

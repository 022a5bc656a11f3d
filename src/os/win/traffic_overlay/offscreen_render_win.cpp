#include <algorithm>

#include "os/win/traffic_overlay/render.hpp"
#include "traffic_overlay/offscreen_render.hpp"

namespace vth {

bool render_offscreen(const OverlayContent& content, CanvasView out) {
    return win::with_overlay_surface([&](HDC, HDC memory_dc, CanvasView canvas) {
        win::paint_overlay(memory_dc, canvas, content);
        GdiFlush();
        std::ranges::copy(canvas, out.begin());
    });
}

bool offscreen_draws_text() noexcept {
    return true;
}

}  // namespace vth

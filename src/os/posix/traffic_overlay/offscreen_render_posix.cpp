#include "traffic_overlay/alpha_finish.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/graph_layer.hpp"
#include "traffic_overlay/offscreen_render.hpp"

namespace vth {

bool render_offscreen(const OverlayContent& content, CanvasView out) {
    paint_body(out, content.drop_hover);
    paint_graph(out, content.samples);
    finish_alpha(out);
    return true;
}

bool offscreen_draws_text() noexcept {
    return false;
}

}  // namespace vth

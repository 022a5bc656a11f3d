#include "traffic_overlay/paint_overlay.hpp"

#include "traffic_overlay/alpha_finish.hpp"
#include "traffic_overlay/body_layer.hpp"
#include "traffic_overlay/graph_layer.hpp"

namespace vth {

void paint_overlay(CanvasView canvas, const OverlayContent& content, TextPainter* text) {
    paint_body(canvas, content.drop_hover);
    const auto [title, subtitle, bottom] = overlay_text_lines(content);
    auto draw = [&](const TextLine& line) {
        if (text != nullptr) text->draw(canvas, line);
    };
    draw(title);
    draw(subtitle);
    paint_graph(canvas, content.samples);
    draw(bottom);
    finish_alpha(canvas);
}

}  // namespace vth

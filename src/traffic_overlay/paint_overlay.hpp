#pragma once
// The overlay picture's layers in their one order: body, title, subtitle,
// graph, bottom line, finish. Text rasterising is the platform's, through a
// painter; everything else is portable.
#include "traffic_overlay/canvas.hpp"
#include "traffic_overlay/overlay_content.hpp"
#include "traffic_overlay/text_lines.hpp"

namespace vth {

class TextPainter {
  public:
    virtual ~TextPainter() = default;
    // Blends one line into the straight-alpha canvas; failures draw nothing.
    virtual void draw(CanvasView canvas, const TextLine& line) = 0;
};

// Fills canvas with the premultiplied picture. Without a painter the text
// lines are left out.
void paint_overlay(CanvasView canvas, const OverlayContent& content, TextPainter* text);

}  // namespace vth

#pragma once
// The translucent rounded body and the drop-hover tint: the first layers,
// painted over a cleared canvas.
#include "traffic_overlay/canvas.hpp"

namespace vth {

// Sets every byte to 0, then paints the body and, with drop_hover, the tint.
void paint_body(CanvasView canvas, bool drop_hover);

}  // namespace vth

#pragma once
#include "traffic_overlay/canvas.hpp"

namespace vth {

// The last pass: no pixel stays fully transparent (so the whole rectangle
// takes mouse input), bright near-grey text keeps its brightness as alpha,
// and every colour is premultiplied.
void finish_alpha(CanvasView canvas);

}  // namespace vth

#pragma once
// One text line drawn into the straight-alpha canvas with GDI's anti-aliased
// text, blended over what is there. Overlay thread only (or any single
// thread that owns dc and canvas).
#include <windows.h>

#include <string_view>

#include "traffic_overlay/canvas.hpp"

namespace vth::win {

// dc: a DC to base the scratch objects on; font: none means the stock default
// GUI font. A line that cannot be drawn is skipped silently.
void draw_text_alpha(HDC dc, CanvasView canvas, const TextRect& rect, std::string_view text,
                     ColorRef colour, HFONT font) noexcept;

}  // namespace vth::win

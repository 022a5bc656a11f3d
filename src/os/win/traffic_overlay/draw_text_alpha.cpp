#include "os/win/traffic_overlay/draw_text_alpha.hpp"

#include <cstring>
#include <span>
#include <string>

#include "os/win/common/wide.hpp"
#include "os/win/traffic_overlay/gdi_owned.hpp"
#include "traffic_overlay/text_composite.hpp"

namespace vth::win {

void draw_text_alpha(HDC dc, CanvasView canvas, const TextRect& rect, std::string_view text,
                     ColorRef colour, HFONT font) noexcept {
    const ScratchSize size = scratch_size(rect);
    Dib scratch = create_top_down_dib(dc, size.width, size.height);
    if (!scratch.bits) return;
    MemoryDc scratch_dc(CreateCompatibleDC(dc));
    if (!scratch_dc) return;
    SelectedObject bitmap_selection = select_into(scratch_dc.get(), scratch.bitmap.get());
    SelectedObject font_selection = select_into(
        scratch_dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));

    const std::size_t bytes =
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4;
    std::memset(scratch.bits, 0, bytes);
    SetBkMode(scratch_dc.get(), TRANSPARENT);
    SetTextColor(scratch_dc.get(), RGB(255, 255, 255));
    // c_str() ends the text at its first NUL, as the length -1 asks. Without
    // memory for the conversion the line is skipped, like any undrawable line.
    std::wstring wide;
    try {
        wide = to_wide(text);
    } catch (...) {
        return;
    }
    RECT box{0, 0, size.width, size.height};
    DrawTextW(scratch_dc.get(), wide.c_str(), -1, &box,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    // GDI may batch drawing; the pixels must be final before they are read.
    GdiFlush();
    composite_text_coverage(canvas, rect,
                            std::span(static_cast<const std::uint8_t*>(scratch.bits), bytes), size,
                            colour);
}

}  // namespace vth::win

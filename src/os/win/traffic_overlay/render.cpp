#include "os/win/traffic_overlay/render.hpp"

#include "os/win/traffic_overlay/draw_text_alpha.hpp"
#include "os/win/traffic_overlay/gdi_owned.hpp"
#include "os/win/traffic_overlay/overlay_font.hpp"
#include "traffic_overlay/paint_overlay.hpp"

namespace vth::win {

bool with_overlay_surface(const SurfaceUse& use) noexcept {
    ScreenDc screen(GetDC(nullptr));
    if (!screen) return false;
    MemoryDc memory(CreateCompatibleDC(screen.get()));
    if (!memory) return false;
    Dib dib = create_top_down_dib(screen.get(), OVERLAY_WIDTH, OVERLAY_HEIGHT);
    if (!dib.bits) return false;
    SelectedObject selection = select_into(memory.get(), dib.bitmap.get());
    if (!selection) return false;
    use(screen.get(), memory.get(), CanvasView(static_cast<std::uint8_t*>(dib.bits), CANVAS_BYTES));
    return true;
}

namespace {

class GdiTextPainter final : public TextPainter {
  public:
    GdiTextPainter(HDC memory_dc, HFONT font) : memory_dc_(memory_dc), font_(font) {}
    void draw(CanvasView canvas, const TextLine& line) override {
        draw_text_alpha(memory_dc_, canvas, line.rect, line.text, line.colour, font_);
    }

  private:
    HDC memory_dc_;
    HFONT font_;
};

}  // namespace

void paint_overlay(HDC memory_dc, CanvasView canvas, const OverlayContent& content) noexcept {
    const GdiFont font = create_overlay_font();
    GdiTextPainter text(memory_dc, font.get());
    vth::paint_overlay(canvas, content, &text);
}

void render(HWND window, const OverlayContent& content) noexcept {
    with_overlay_surface([&](HDC screen_dc, HDC memory_dc, CanvasView canvas) {
        paint_overlay(memory_dc, canvas, content);
        SIZE size{OVERLAY_WIDTH, OVERLAY_HEIGHT};
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(window, screen_dc, nullptr, &size, memory_dc, &source, 0, &blend,
                            ULW_ALPHA);
    });
}

}  // namespace vth::win

#include "os/win/traffic_overlay/overlay_font.hpp"

namespace vth::win {

GdiFont create_overlay_font() noexcept {
    static constexpr const wchar_t* faces[] = {
        L"Segoe UI Variable Small", L"Segoe UI Variable Text", L"Segoe UI Semilight", L"Segoe UI",
        L"Segoe UI Light",
    };
    for (const wchar_t* face : faces) {
        HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                 VARIABLE_PITCH, face);
        if (font) return GdiFont(font);
    }
    return {};
}

}  // namespace vth::win

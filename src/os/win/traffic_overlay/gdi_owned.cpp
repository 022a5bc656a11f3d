#include "os/win/traffic_overlay/gdi_owned.hpp"

namespace vth::win {

Dib create_top_down_dib(HDC dc, LONG width, LONG height) noexcept {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Dib dib;
    dib.bitmap.reset(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &dib.bits, nullptr, 0));
    if (!dib.bitmap) dib.bits = nullptr;
    return dib;
}

}  // namespace vth::win

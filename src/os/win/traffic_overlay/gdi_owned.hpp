#pragma once
// Owners for the GDI objects and device contexts the overlay's drawing uses,
// all instances of the one Owned template. Overlay thread only.
#include <windows.h>

#include "os/win/common/owned.hpp"

namespace vth::win {

inline void release_screen_dc(HDC dc) noexcept {
    ReleaseDC(nullptr, dc);
}
inline void delete_dc(HDC dc) noexcept {
    DeleteDC(dc);
}
inline void delete_gdi_object(HGDIOBJ object) noexcept {
    DeleteObject(object);
}

using ScreenDc = Owned<HDC, release_screen_dc>;       // from GetDC(nullptr)
using MemoryDc = Owned<HDC, delete_dc>;               // from CreateCompatibleDC
using DibBitmap = Owned<HBITMAP, delete_gdi_object>;  // from CreateDIBSection
using GdiFont = Owned<HFONT, delete_gdi_object>;      // from CreateFontW

// An object selected into a DC, with what was selected before it.
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    friend bool operator==(const Selection&, const Selection&) = default;
};
inline void restore_selection(Selection s) noexcept {
    SelectObject(s.dc, s.previous);
}
using SelectedObject = Owned<Selection, restore_selection>;

// Empty when the selection failed.
inline SelectedObject select_into(HDC dc, HGDIOBJ object) noexcept {
    HGDIOBJ previous = SelectObject(dc, object);
    if (previous == nullptr) return {};  // bitmaps and fonts fail with null
    return SelectedObject(Selection{dc, previous});
}

// A top-down 32-bit DIB section and its pixel memory (owned by the bitmap).
struct Dib {
    DibBitmap bitmap;
    void* bits = nullptr;
};
Dib create_top_down_dib(HDC dc, LONG width, LONG height) noexcept;

}  // namespace vth::win

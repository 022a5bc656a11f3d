#pragma once
// The overlay's Win32 window: class, window procedure and the window object
// the overlay thread's loop drives. Overlay thread only.
#include <windows.h>

namespace vth::win {

inline constexpr wchar_t overlay_class_name[] = L"VestrilonTrafficOverlayV6";
inline constexpr wchar_t overlay_title[] = L"Vestrilon traffic";
// WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE
inline constexpr DWORD overlay_ex_style = 0x08080088;

// Registers the class once per process; later calls do nothing. The result
// is not examined: a failed registration shows as a failed window creation.
void register_class() noexcept;

// Translates the window's messages into calls of the portable gesture logic
// on the state in the user-data slot; no decisions of its own.
LRESULT CALLBACK wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

}  // namespace vth::win

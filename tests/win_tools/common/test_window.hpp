#pragma once
// The plain top-most captioned window the Windows test tools show, so the
// end-to-end tests can find it by title and move the mouse onto it.
#include <windows.h>

#include "os/win/common/owned.hpp"

namespace vth::test_tools {

using Window = win::Owned<HWND, DestroyWindow>;

struct WindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Registers class_name with procedure (once per process) and creates the window.
inline Window create_test_window(const wchar_t* class_name, WNDPROC procedure, const wchar_t* title,
                                 WindowPlace place) noexcept {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);
    return Window(CreateWindowExW(
        WS_EX_TOPMOST, class_name, title, WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, place.x, place.y,
        place.width, place.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

}  // namespace vth::test_tools

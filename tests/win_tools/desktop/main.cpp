// Usage:
//   vth-desktop modes W,H [W,H ...]   ChangeDisplaySettingsExW to each mode in
//                                     turn, as fast as the system takes them
//   vth-desktop post session|power|display WPARAM
//                                     posts WM_WTSSESSION_CHANGE,
//                                     WM_POWERBROADCAST or WM_DISPLAYCHANGE to
//                                     the overlay window
//   vth-desktop topmost X,Y [--notify]
//                                     shows a top-most window at X,Y, makes it
//                                     the foreground window and places it above
//                                     the overlay, then watches the z-order for
//                                     three seconds; --notify also reports the
//                                     foreground change itself, for systems
//                                     that do not (Wine)
// Prints one JSON line per happening with the milliseconds since start:
//   {"event":"mode","width":W,"height":H,"result":R,"ms":T}
//   {"event":"posted","ok":b,"ms":T}
//   {"event":"zorder","overlayAbove":b,"foregroundMine":b,"ms":T} at the start
//                                     and on each change
// Exit code 0, or 2 for bad arguments, 3 when the overlay window is missing.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/json_event.hpp"
#include "common/test_window.hpp"
#include "os/win/traffic_overlay/overlay_window_win.hpp"

namespace {

using Writer = vth::test::EventWriter;
const auto started = std::chrono::steady_clock::now();

template <typename Fill>
void print_event(const char* name, Fill fill) {
    vth::test::print_event(name, [&](Writer& w) {
        fill(w);
        w.Key("ms");
        w.Double(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
    });
}

HWND overlay_window() {
    return FindWindowW(vth::win::overlay_class_name, vth::win::overlay_title);
}

int change_modes(int count, char** modes) {
    for (int i = 0; i < count; ++i) {
        int width = 0;
        int height = 0;
        if (std::sscanf(modes[i], "%d,%d", &width, &height) != 2) return 2;
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        mode.dmPelsWidth = static_cast<DWORD>(width);
        mode.dmPelsHeight = static_cast<DWORD>(height);
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        // Dynamic only: the registry keeps the mode the system started with.
        LONG result = ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr);
        print_event("mode", [&](Writer& w) {
            w.Key("width");
            w.Int(width);
            w.Key("height");
            w.Int(height);
            w.Key("result");
            w.Int(result);
        });
    }
    return 0;
}

int post(const char* kind, const char* wparam_text) {
    UINT message = 0;
    if (std::strcmp(kind, "session") == 0) message = WM_WTSSESSION_CHANGE;
    if (std::strcmp(kind, "power") == 0) message = WM_POWERBROADCAST;
    if (std::strcmp(kind, "display") == 0) message = WM_DISPLAYCHANGE;
    if (message == 0) return 2;
    HWND overlay = overlay_window();
    if (overlay == nullptr) return 3;
    LPARAM lparam = message == WM_DISPLAYCHANGE ? MAKELPARAM(1280, 800) : 0;
    bool ok = PostMessageW(overlay, message, std::strtoul(wparam_text, nullptr, 0), lparam) != 0;
    print_event("posted", [&](Writer& w) {
        w.Key("ok");
        w.Bool(ok);
    });
    return 0;
}

// Whether the overlay comes before window in the z-order, top first.
bool overlay_above(HWND overlay, HWND window) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == overlay) return true;
        if (w == window) return false;
    }
    return false;
}

void pump_for(std::chrono::milliseconds duration) {
    auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
}

int topmost(const char* at, bool notify) {
    int x = 0;
    int y = 0;
    if (std::sscanf(at, "%d,%d", &x, &y) != 2) return 2;
    HWND overlay = overlay_window();
    if (overlay == nullptr) return 3;
    auto window = vth::test_tools::create_test_window(L"VthTopmostWindow", DefWindowProcW,
                                                      L"vth topmost", {x, y, 320, 240});
    if (!window) return 3;
    SetForegroundWindow(window.get());
    SetWindowPos(window.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (notify) NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window.get(), OBJID_WINDOW, CHILDID_SELF);
    bool first = true;
    bool above = false;
    bool mine = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        bool now_above = overlay_above(overlay, window.get());
        bool now_mine = GetForegroundWindow() == window.get();
        if (first || now_above != above || now_mine != mine) {
            above = now_above;
            mine = now_mine;
            first = false;
            print_event("zorder", [&](Writer& w) {
                w.Key("overlayAbove");
                w.Bool(above);
                w.Key("foregroundMine");
                w.Bool(mine);
            });
        }
        pump_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "modes") == 0) return change_modes(argc - 2, argv + 2);
    if (argc == 4 && std::strcmp(argv[1], "post") == 0) return post(argv[2], argv[3]);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "topmost") == 0) {
        return topmost(argv[2], argc == 4 && std::strcmp(argv[3], "--notify") == 0);
    }
    std::fputs(
        "usage: vth-desktop modes W,H [W,H ...] | post session|power|display WPARAM | "
        "topmost X,Y [--notify]\n",
        stderr);
    return 2;
}

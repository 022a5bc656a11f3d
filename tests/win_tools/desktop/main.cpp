// Usage:
//   vth-desktop modes W,H [W,H ...]  ChangeDisplaySettingsExW to each mode in
//                                    turn, as fast as the system takes them
//   vth-desktop post session|power WPARAM
//                                    posts WM_WTSSESSION_CHANGE or
//                                    WM_POWERBROADCAST to the overlay window
//   vth-desktop topmost X,Y [--notify]
//                                    a top-most window at X,Y made the
//                                    foreground window and placed above the
//                                    overlay, then the z-order watched for 3 s;
//                                    --notify reports the foreground change
//                                    itself, for systems that do not (Wine)
// Prints one JSON line per happening, with milliseconds since start:
//   {"event":"mode","width":W,"height":H,"result":R}  {"event":"posted","ok":b}
//   {"event":"zorder","overlayAbove":b,"foregroundMine":b} first and on each change
// Exit code 0; 2 for bad arguments; 3 when a window is missing.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "common/json_event.hpp"
#include "common/test_window.hpp"
#include "os/win/traffic_overlay/overlay_window_win.hpp"

namespace {

using Writer = vth::test::EventWriter;
using Clock = std::chrono::steady_clock;
const auto started = Clock::now();

template <typename Fill>
void print_event(const char* name, Fill fill) {
    vth::test::print_event(name, [&](Writer& w) {
        fill(w);
        w.Key("ms");
        w.Double(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    });
}

int change_modes(int count, char** modes) {
    for (int i = 0; i < count; ++i) {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        if (std::sscanf(modes[i], "%lu,%lu", &mode.dmPelsWidth, &mode.dmPelsHeight) != 2) return 2;
        // Dynamic only: the registry keeps the mode the system started with.
        LONG result = ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr);
        print_event("mode", [&](Writer& w) {
            w.Key("width");
            w.Uint(mode.dmPelsWidth);
            w.Key("height");
            w.Uint(mode.dmPelsHeight);
            w.Key("result");
            w.Int(result);
        });
    }
    return 0;
}

int post(HWND overlay, std::string_view kind, const char* wparam) {
    if (kind != "session" && kind != "power") return 2;
    UINT message = kind == "session" ? WM_WTSSESSION_CHANGE : WM_POWERBROADCAST;
    bool ok = PostMessageW(overlay, message, std::strtoul(wparam, nullptr, 0), 0) != 0;
    print_event("posted", [&](Writer& w) {
        w.Key("ok");
        w.Bool(ok);
    });
    return 0;
}

// Whether the overlay comes before window in the z-order, top first.
bool overlay_above(HWND overlay, HWND window) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == overlay || w == window) return w == overlay;
    }
    return false;
}

int topmost(HWND overlay, const char* at, bool notify) {
    int x = 0;
    int y = 0;
    if (std::sscanf(at, "%d,%d", &x, &y) != 2) return 2;
    auto window = vth::test_tools::create_test_window(L"VthTopmostWindow", DefWindowProcW,
                                                      L"vth topmost", {x, y, 320, 240});
    if (!window) return 3;
    SetForegroundWindow(window.get());
    SetWindowPos(window.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (notify) NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window.get(), OBJID_WINDOW, CHILDID_SELF);
    int last = -1;
    for (auto end = Clock::now() + std::chrono::seconds(3); Clock::now() < end; Sleep(10)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        bool above = overlay_above(overlay, window.get());
        bool mine = GetForegroundWindow() == window.get();
        int seen = (above ? 2 : 0) + (mine ? 1 : 0);
        if (std::exchange(last, seen) == seen) continue;
        print_event("zorder", [&](Writer& w) {
            w.Key("overlayAbove");
            w.Bool(above);
            w.Key("foregroundMine");
            w.Bool(mine);
        });
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string_view verb = argc >= 3 ? argv[1] : "";
    if (verb == "modes") return change_modes(argc - 2, argv + 2);
    HWND overlay = FindWindowW(vth::win::overlay_class_name, vth::win::overlay_title);
    if ((verb == "post" || verb == "topmost") && overlay == nullptr) return 3;
    if (verb == "post" && argc == 4) return post(overlay, argv[2], argv[3]);
    if (verb == "topmost" && argc <= 4) {
        return topmost(overlay, argv[2], argc == 4 && std::string_view(argv[3]) == "--notify");
    }
    std::fputs("usage: vth-desktop modes W,H ... | post session|power WPARAM | topmost X,Y\n",
               stderr);
    return 2;
}

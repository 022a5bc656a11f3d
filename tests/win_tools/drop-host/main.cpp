// Usage: vth-drop-host [--title TITLE] [--at X,Y]
// A window with OleTextDropTarget registered on it, polled the way the
// overlay thread polls it (8 ms passes, one text per pass). Prints one JSON
// line per event on stdout:
//   {"event":"registered","ok":true} or {"event":"registered","ok":false,"error":"..."}
//   {"event":"hover","hovering":true|false} on each change of the flag
//   {"event":"text","text":"..."} for each text taken
// Inbox lines go wherever LOCALAPPDATA points. Runs until its window closes.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "common/json_event.hpp"
#include "common/os.hpp"
#include "common/test_window.hpp"
#include "os/win/traffic_drop/ole_text_drop_target.hpp"

namespace {

using Writer = vth::test::EventWriter;
using vth::test::print_event;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    // Closing only ends the loop: the owners revoke the drop target and then
    // destroy the window, in that order.
    if (message == WM_CLOSE || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// False once WM_QUIT arrived.
bool dispatch_pending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring title = L"vth drop host";
    int x = 400;
    int y = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring option = argv[i];
        if (option == L"--title") {
            title = argv[i + 1];
        } else if (option != L"--at" || std::swscanf(argv[i + 1], L"%d,%d", &x, &y) != 2) {
            std::fputs("usage: vth-drop-host [--title TITLE] [--at X,Y]\n", stderr);
            return 2;
        }
    }

    auto window = vth::test_tools::create_test_window(L"VthDropHost", window_proc, title.c_str(),
                                                      {x, y, 208, 132});
    if (!window) return 1;

    auto hovering = std::make_shared<std::atomic<bool>>(false);
    auto target = vth::win::OleTextDropTarget::register_on(window.get(), hovering);
    print_event("registered", [&](Writer& w) {
        w.Key("ok");
        w.Bool(target.has_value());
        if (!target) {
            w.Key("error");
            w.String(target.error().text);
        }
    });
    if (!target) return 1;

    bool shown_hovering = false;
    while (dispatch_pending()) {
        if (auto text = target->take_text()) {
            print_event("text", [&](Writer& w) {
                w.Key("text");
                w.String(*text);
            });
        }
        if (bool now = hovering->load(); now != shown_hovering) {
            shown_hovering = now;
            print_event("hover", [&](Writer& w) {
                w.Key("hovering");
                w.Bool(now);
            });
        }
        vth::os::sleep_for(std::chrono::milliseconds(8));
    }
    return 0;
}

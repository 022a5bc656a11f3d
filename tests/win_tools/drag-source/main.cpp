// Usage: vth-drag-source [--title TITLE] [--at X,Y] [--once] [--endless-formats]
//                        [--hanging-get-data] OFFER...
// Shows a small window; pressing the left button on it starts DoDragDrop
// with a data object holding the OFFERs (see data_description.hpp). Prints
// one JSON line per event on stdout: {"event":"ready"} once the window is
// shown, {"event":"dragged","result":"0x...","effect":N} after each drag.
// With --once it exits after the first drag. With --endless-formats the data
// object's format list never ends: it repeats the OFFERs' formats. With
// --hanging-get-data its GetData prints {"event":"getData"} and never returns.
#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/test_window.hpp"
#include "data_description.hpp"
#include "drop_source.hpp"
#include "offered_data_object.hpp"
#include "os/win/common/wide.hpp"

namespace {

using vth::drag::OfferedFormat;

struct Options {
    std::wstring title = L"vth drag source";
    int x = 100;
    int y = 100;
    bool once = false;
    vth::drag::Misbehaviour misbehaviour;
    std::vector<OfferedFormat> offers;
};

struct DragState {
    IDataObject* data;
    IDropSource* source;
    bool once;
};

std::uint16_t format_by_name(std::string_view name) {
    return static_cast<std::uint16_t>(RegisterClipboardFormatW(vth::win::to_wide(name).c_str()));
}

bool parse_options(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--title" && i + 1 < argc) {
            options.title = argv[++i];
        } else if (arg == L"--at" && i + 1 < argc) {
            if (std::swscanf(argv[++i], L"%d,%d", &options.x, &options.y) != 2) return false;
        } else if (arg == L"--once") {
            options.once = true;
        } else if (arg == L"--endless-formats") {
            options.misbehaviour.endless_formats = true;
        } else if (arg == L"--hanging-get-data") {
            options.misbehaviour.get_data_never_returns = true;
            options.misbehaviour.on_hang = [] {
                std::puts("{\"event\":\"getData\"}");
                std::fflush(stdout);
            };
        } else {
            auto offer = vth::drag::parse_offer(vth::win::to_utf8(arg), format_by_name);
            if (!offer) {
                std::fprintf(stderr, "vth-drag-source: %s\n", offer.error().text.c_str());
                return false;
            }
            options.offers.push_back(std::move(*offer));
        }
    }
    return !options.offers.empty();
}

void run_drag(const DragState& state) {
    DWORD effect = DROPEFFECT_NONE;
    HRESULT hr = DoDragDrop(state.data, state.source,
                            DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    std::printf("{\"event\":\"dragged\",\"result\":\"0x%08lX\",\"effect\":%lu}\n",
                static_cast<unsigned long>(hr), static_cast<unsigned long>(effect));
    std::fflush(stdout);
    if (state.once) PostQuitMessage(0);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto* state = reinterpret_cast<DragState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_LBUTTONDOWN:
            if (state != nullptr) run_drag(*state);
            return 0;
        // Closing only ends the loop; the window's owner destroys it.
        case WM_CLOSE:
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(
            "usage: vth-drag-source [--title TITLE] [--at X,Y] [--once] [--endless-formats] "
            "[--hanging-get-data] FORMAT[@LINDEX]:MEDIUM:text|utf16|hex:DATA ...\n",
            stderr);
        return 2;
    }
    if (FAILED(OleInitialize(nullptr))) return 1;
    {
        auto data =
            vth::drag::OfferedDataObject::create(std::move(options.offers), options.misbehaviour);
        auto source = vth::drag::LeftButtonDropSource::create();
        DragState state{data.get(), source.get(), options.once};

        auto window = vth::test_tools::create_test_window(
            L"VthDragSource", window_proc, options.title.c_str(), {options.x, options.y, 160, 120});
        if (!window) return 1;
        SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
        std::puts("{\"event\":\"ready\"}");
        std::fflush(stdout);

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        SetWindowLongPtrW(window.get(), GWLP_USERDATA, 0);
    }
    OleUninitialize();
    return 0;
}

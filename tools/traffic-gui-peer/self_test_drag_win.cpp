#include "self_test_drag_win.hpp"

#include <ole2.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "common/os.hpp"
#include "drop_source.hpp"
#include "offered_data_object.hpp"
#include "os/win/common/owned.hpp"
#include "os/win/common/wide.hpp"

namespace vth::peer {
namespace {

using Window = win::Owned<HWND, DestroyWindow>;

constexpr wchar_t class_name[] = L"VthSelfTestDragSource";

struct DragContext {
    IDataObject* data = nullptr;
    IDropSource* source = nullptr;
    DragShared* shared = nullptr;
};

std::uint16_t format_named(const wchar_t* name) {
    return static_cast<std::uint16_t>(RegisterClipboardFormatW(name));
}

std::string utf16_bytes(const std::string& utf8) {
    const std::wstring wide = win::to_wide(utf8);
    std::string bytes;
    for (wchar_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
    bytes.append(2, '\0');
    return bytes;
}

// The clipboard's HTML format: a header with the byte offsets of the HTML
// and of the fragment in it.
std::string html_format(const std::string& url) {
    const std::string before = "<html><body><!--StartFragment-->";
    const std::string fragment = "<a href=\"" + url + "\">Vestrilon self-test link</a>";
    const std::string after = "<!--EndFragment--></body></html>";
    constexpr std::size_t header_size = 105;  // the header below with ten-digit numbers
    char header[header_size + 1];
    const std::size_t start = header_size;
    const std::size_t begin_fragment = start + before.size();
    const std::size_t end_fragment = begin_fragment + fragment.size();
    const std::size_t end = end_fragment + after.size();
    std::snprintf(header, sizeof header,
                  "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\n"
                  "StartFragment:%010zu\r\nEndFragment:%010zu\r\n",
                  start, end, begin_fragment, end_fragment);
    return std::string(header) + before + fragment + after + '\0';
}

// What a browser offers for a dragged link, in its order.
std::vector<drag::OfferedFormat> browser_offers(const std::string& url) {
    const std::string title = "Vestrilon self-test link";
    const auto offer = [](std::uint16_t format, std::string bytes) {
        drag::OfferedFormat offered;
        offered.format = format;
        offered.bytes = std::move(bytes);
        return offered;
    };
    return {
        offer(format_named(L"UniformResourceLocatorW"), utf16_bytes(url)),
        offer(format_named(L"UniformResourceLocator"), url + '\0'),
        offer(format_named(L"text/x-moz-url"), utf16_bytes(url + "\n" + title)),
        offer(CF_UNICODETEXT, utf16_bytes(url)),
        offer(CF_TEXT, url + '\0'),
        offer(format_named(L"HTML Format"), html_format(url)),
    };
}

// A browser allows a move too, and deletes the user's selection when the
// target chooses it; the target must choose copy.
void run_drag(const DragContext& context) noexcept {
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(context.data, context.source,
                                      DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    std::lock_guard lock(context.shared->mutex);
    context.shared->outcome = DragOutcome{static_cast<long>(result), effect};
    context.shared->changed.notify_all();
}

LRESULT CALLBACK drag_window_proc(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) noexcept {
    auto* context = reinterpret_cast<DragContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_LBUTTONDOWN:
            if (context != nullptr) run_drag(*context);
            return 0;
        // Closing only ends the loop; the thread destroys the window.
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

Window create_window(const ScreenRect& place) noexcept {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = drag_window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1);
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);  // a second registration fails harmlessly
    return Window(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, class_name,
                                  L"traffic-gui-peer self-test link", WS_POPUP | WS_BORDER,
                                  place.left, place.top, place.right - place.left,
                                  place.bottom - place.top, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr));
}

void finish(DragShared& shared, std::optional<std::string> failure) noexcept {
    std::lock_guard lock(shared.mutex);
    if (failure) shared.failure = std::move(failure);
    shared.finished = true;
    shared.window = nullptr;
    shared.changed.notify_all();
}

void drag_thread(const std::shared_ptr<DragShared>& shared, ScreenRect place,
                 const std::string& url) {
    if (FAILED(OleInitialize(nullptr))) {
        finish(*shared, "OleInitialize failed");
        return;
    }
    {
        auto data = drag::OfferedDataObject::create(browser_offers(url));
        auto source = drag::LeftButtonDropSource::create();
        DragContext context{data.get(), source.get(), shared.get()};
        Window window = create_window(place);
        if (window) {
            SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&context));
            ShowWindow(window.get(), SW_SHOWNOACTIVATE);
            UpdateWindow(window.get());
            {
                std::lock_guard lock(shared->mutex);
                shared->window = window.get();
                shared->changed.notify_all();
            }
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            SetWindowLongPtrW(window.get(), GWLP_USERDATA, 0);
        }
        finish(*shared,
               window ? std::nullopt : std::optional<std::string>("cannot create the drag window"));
    }
    OleUninitialize();
}

}  // namespace

Result<os::Thread> start_drag_source(const std::shared_ptr<DragShared>& shared,
                                     const ScreenRect& place, const std::string& url) {
    auto thread = os::start_thread("vth-self-test-drag", [shared, place, url]() noexcept {
        try {
            drag_thread(shared, place, url);
        } catch (...) {
            finish(*shared, "the drag thread failed");
        }
    });
    if (!thread) return thread;
    std::unique_lock lock(shared->mutex);
    shared->changed.wait_for(lock, std::chrono::seconds(5),
                             [&] { return shared->window != nullptr || shared->finished; });
    if (shared->window == nullptr) {
        const std::string why = shared->failure.value_or("the drag window did not appear");
        lock.unlock();
        thread->detach();
        return fail(why);
    }
    return thread;
}

}  // namespace vth::peer

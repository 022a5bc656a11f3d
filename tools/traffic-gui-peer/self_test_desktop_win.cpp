#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "os/win/common/owned.hpp"
#include "os/win/common/wide.hpp"
#include "os/win/traffic_overlay/gdi_owned.hpp"
#include "self_test_desktop.hpp"
#include "self_test_drag_win.hpp"

namespace vth::peer {
namespace {

using Library = win::Owned<HMODULE, FreeLibrary>;
using DesktopHandle = win::Owned<HDESK, CloseDesktop>;

constexpr wchar_t overlay_class[] = L"VestrilonTrafficOverlayV6";

ScreenRect rect_of(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

std::string window_text(HWND window) {
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    std::string text = "\"";
    text += win::to_utf8(title);
    text += "\" (class ";
    text += win::to_utf8(name);
    text += ')';
    return text;
}

std::wstring object_name(HANDLE object) {
    wchar_t name[256] = {};
    GetUserObjectInformationW(object, UOI_NAME, name, sizeof name, nullptr);
    return name;
}

template <typename Function>
Function* system_function(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr) return nullptr;
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

// Coordinates of the helper and of the input we send are physical pixels:
// without this a scaled display would show this process other numbers.
void become_dpi_aware() {
    using SetContext = BOOL WINAPI(HANDLE);
    if (auto* set = system_function<SetContext>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        if (set(reinterpret_cast<HANDLE>(-4))) return;  // per monitor, version 2
    }
    SetProcessDPIAware();
}

std::optional<std::string> not_interactive() {
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (station != nullptr &&
        GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        (flags.dwFlags & WSF_VISIBLE) == 0) {
        return "no interactive desktop: this runs as a service or without a user's session";
    }
    DesktopHandle input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
    if (!input) {
        return "no interactive desktop: the screen is locked or shows another session";
    }
    const std::wstring ours = object_name(GetThreadDesktop(GetCurrentThreadId()));
    const std::wstring shown = object_name(input.get());
    if (!ours.empty() && !shown.empty() && ours != shown) {
        return "no interactive desktop: the screen shows the desktop \"" + win::to_utf8(shown) +
               "\" (locked, or a secure prompt is open)";
    }
    return std::nullopt;
}

std::uint32_t window_pid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::optional<ScreenRect> monitor_of(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR on = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
    if (on == nullptr || !GetMonitorInfoW(on, &info)) return std::nullopt;
    return rect_of(info.rcMonitor);
}

// A full-screen window of another program in front would take the input
// meant for the overlay; a maximized one or one below the topmost overlay
// would not.
std::optional<std::string> full_screen_in_front(HWND overlay, std::uint32_t helper_pid) {
    HWND foreground = GetForegroundWindow();
    const auto overlay_monitor = monitor_of(overlay);
    if (foreground == nullptr || !overlay_monitor) return std::nullopt;
    const auto monitor = monitor_of(foreground);
    RECT window{};
    if (!monitor || !GetWindowRect(foreground, &window)) return std::nullopt;
    wchar_t name[64] = {};
    GetClassNameW(foreground, name, 64);
    const std::wstring class_name = name;
    const std::uint32_t pid = window_pid(foreground);
    const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(foreground, GWL_STYLE));
    const auto ex_style = static_cast<std::uint32_t>(GetWindowLongPtrW(foreground, GWL_EXSTYLE));
    const FrontWindow front{.rect = rect_of(window),
                            .monitor = *monitor,
                            .has_caption = (style & WS_CAPTION) == WS_CAPTION,
                            .topmost = (ex_style & WS_EX_TOPMOST) != 0,
                            .shell = foreground == GetShellWindow() ||
                                     foreground == GetDesktopWindow() || class_name == L"WorkerW" ||
                                     class_name == L"Progman" || pid == GetCurrentProcessId() ||
                                     pid == helper_pid};
    if (!covers_overlay(front, *overlay_monitor)) return std::nullopt;
    return "another program holds the foreground full-screen on top: " + window_text(foreground) +
           "; leave it and run again";
}

BOOL CALLBACK add_display(HMONITOR monitor, HDC, LPRECT, LPARAM data) noexcept {
    auto& list = *reinterpret_cast<std::vector<DisplayInfo>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    DisplayInfo display;
    display.name = win::to_utf8(info.szDevice);
    display.monitor = rect_of(info.rcMonitor);
    display.work = rect_of(info.rcWork);
    display.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    using GetDpi = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);
    static Library shcore(LoadLibraryW(L"shcore.dll"));
    auto* get_dpi = shcore ? reinterpret_cast<GetDpi*>(reinterpret_cast<void*>(
                                 GetProcAddress(shcore.get(), "GetDpiForMonitor")))
                           : nullptr;
    UINT x = 0;
    UINT y = 0;
    if (get_dpi != nullptr && SUCCEEDED(get_dpi(monitor, 0, &x, &y))) {
        display.dpi = x;
    } else {
        win::ScreenDc screen(GetDC(nullptr));
        if (screen)
            display.dpi = static_cast<std::uint32_t>(GetDeviceCaps(screen.get(), LOGPIXELSX));
    }
    try {
        list.push_back(std::move(display));
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

// The buttons our input holds down, physical ones; shared with the console
// handler, which runs on a thread of its own.
std::atomic<bool> left_held{false};
std::atomic<bool> right_held{false};
// Where the cursor was when the self-test began, for the same handler.
std::atomic<LONG> saved_x{0};
std::atomic<LONG> saved_y{0};

INPUT mouse_input(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    return input;
}

Result<void> send_input(INPUT input) {
    if (SendInput(1, &input, sizeof input) != 1) {
        return fail("SendInput failed (error " + std::to_string(GetLastError()) + ")");
    }
    return {};
}

void release_held_buttons() noexcept {
    INPUT up = mouse_input(MOUSEEVENTF_LEFTUP);
    if (left_held.exchange(false)) SendInput(1, &up, sizeof up);
    up = mouse_input(MOUSEEVENTF_RIGHTUP);
    if (right_held.exchange(false)) SendInput(1, &up, sizeof up);
}

// Ctrl+C in the middle of a drag must not leave the button down or the
// pointer elsewhere for the user; the default handler ends the process afterwards, and the helper
// ends on its own once its next write finds the connection closed.
BOOL WINAPI release_on_break(DWORD) noexcept {
    release_held_buttons();
    SetCursorPos(saved_x.load(), saved_y.load());
    return FALSE;
}

class WinDesktop final : public Desktop {
  public:
    explicit WinDesktop(POINT saved) : saved_(saved) {
        saved_x.store(saved.x);
        saved_y.store(saved.y);
    }
    ~WinDesktop() override {
        close_drag_source();
        restore_cursor();
    }

    std::vector<DisplayInfo> displays() override {
        std::vector<DisplayInfo> list;
        EnumDisplayMonitors(nullptr, nullptr, add_display, reinterpret_cast<LPARAM>(&list));
        return list;
    }

    std::string windows_version() override {
        using GetVersion = LONG WINAPI(OSVERSIONINFOW*);
        using WineVersion = const char*();
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        std::string text = "unknown";
        if (auto* get = system_function<GetVersion>(L"ntdll.dll", "RtlGetVersion");
            get != nullptr && get(&info) == 0) {
            text = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                   "." + std::to_string(info.dwBuildNumber);
        }
        if (auto* wine = system_function<WineVersion>(L"ntdll.dll", "wine_get_version")) {
            text += " (Wine " + std::string(wine()) + ")";
        }
        return text;
    }

    std::string program_dir() override {
        std::wstring path(32768, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), 32768);
        path.resize(length);
        const std::size_t slash = path.find_last_of(L"\\/");
        return win::to_utf8(slash == std::wstring::npos ? std::wstring()
                                                        : path.substr(0, slash + 1));
    }

    bool find_overlay(std::uint32_t pid) override {
        for (HWND window = FindWindowExW(nullptr, nullptr, overlay_class, nullptr);
             window != nullptr; window = FindWindowExW(nullptr, window, overlay_class, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == pid) {
                overlay_ = window;
                helper_pid_ = pid;
                return true;
            }
        }
        return false;
    }

    std::optional<ScreenRect> overlay_rect() override {
        RECT r{};
        if (overlay_ == nullptr || !GetWindowRect(overlay_, &r)) return std::nullopt;
        return rect_of(r);
    }

    std::optional<WindowFacts> overlay_facts() override {
        RECT r{};
        if (overlay_ == nullptr || !GetWindowRect(overlay_, &r)) return std::nullopt;
        wchar_t title[256] = {};
        GetWindowTextW(overlay_, title, 256);
        wchar_t name[256] = {};
        GetClassNameW(overlay_, name, 256);
        return WindowFacts{
            .ex_style = static_cast<std::uint32_t>(GetWindowLongPtrW(overlay_, GWL_EXSTYLE)),
            .style = static_cast<std::uint32_t>(GetWindowLongPtrW(overlay_, GWL_STYLE)),
            .class_name = win::to_utf8(name),
            .title = win::to_utf8(title),
            .rect = rect_of(r)};
    }

    bool overlay_visible() override { return overlay_ != nullptr && IsWindowVisible(overlay_); }

    ForegroundFacts foreground() override {
        HWND window = GetForegroundWindow();
        if (window == nullptr) return {};
        return {reinterpret_cast<std::uintptr_t>(window), window_pid(window), window_text(window)};
    }

    bool clicks_activate_anyway() override {
        using WineVersion = const char*();
        return system_function<WineVersion>(L"ntdll.dll", "wine_get_version") != nullptr;
    }

    std::optional<std::string> input_astray(ScreenPoint at) override {
        if (auto held = full_screen_in_front(overlay_, helper_pid_)) return held;
        HWND hit = WindowFromPoint(POINT{at.x, at.y});
        HWND root = hit != nullptr ? GetAncestor(hit, GA_ROOT) : nullptr;
        if (root != nullptr && root == overlay_) return std::nullopt;
        return "input would go astray: at " + std::to_string(at.x) + "," + std::to_string(at.y) +
               " the window under the overlay's place is " +
               (root != nullptr ? window_text(root) : std::string("none")) + ", not the overlay";
    }

    std::optional<Capture> capture(const ScreenRect& rect) override;

    ScreenPoint cursor() override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }

    std::chrono::milliseconds double_click_time() override {
        return std::chrono::milliseconds(GetDoubleClickTime());
    }

    Result<void> move_to(ScreenPoint to) override {
        const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const int width = std::max(GetSystemMetrics(SM_CXVIRTUALSCREEN), 1);
        const int height = std::max(GetSystemMetrics(SM_CYVIRTUALSCREEN), 1);
        // The middle of the pixel in the 0..65535 scale, so rounding lands on it.
        const auto scale = [](int offset, int size) {
            return static_cast<LONG>((static_cast<long long>(offset) * 65536 + 32768) / size);
        };
        return send_input(
            mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK,
                        scale(to.x - left, width), scale(to.y - top, height)));
    }

    Result<void> press(MouseButton button, bool down) override {
        // With swapped buttons the physical right one is the logical left.
        const bool physical_left =
            (button == MouseButton::left) != (GetSystemMetrics(SM_SWAPBUTTON) != 0);
        const DWORD flag = physical_left ? (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP)
                                         : (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
        auto sent = send_input(mouse_input(flag));
        if (sent) (physical_left ? left_held : right_held).store(down);
        return sent;
    }

    void restore_cursor() override {
        release_held_buttons();
        SetCursorPos(saved_.x, saved_.y);
    }

    Result<void> open_drag_source(const ScreenRect& place, const std::string& url) override {
        close_drag_source();
        drag_ = std::make_shared<DragShared>();
        auto thread = start_drag_source(drag_, place, url);
        if (!thread) return std::unexpected(thread.error());
        drag_thread_ = std::move(*thread);
        return {};
    }

    std::optional<DragOutcome> drag_outcome(std::chrono::milliseconds wait) override {
        if (!drag_) return std::nullopt;
        std::unique_lock lock(drag_->mutex);
        drag_->changed.wait_for(lock, wait, [&] { return drag_->outcome || drag_->finished; });
        return drag_->outcome;
    }

    void close_drag_source() override {
        if (!drag_) return;
        bool finished = false;
        {
            std::unique_lock lock(drag_->mutex);
            if (drag_->window != nullptr) PostMessageW(drag_->window, WM_CLOSE, 0, 0);
            finished = drag_->changed.wait_for(lock, std::chrono::seconds(3),
                                               [&] { return drag_->finished; });
        }
        if (drag_thread_.joinable()) {
            // A drag loop that never returns keeps its thread; it owns what it uses.
            if (finished) {
                drag_thread_.join();
            } else {
                drag_thread_.detach();
            }
        }
        drag_.reset();
    }

  private:
    POINT saved_;
    HWND overlay_ = nullptr;
    std::uint32_t helper_pid_ = 0;
    std::shared_ptr<DragShared> drag_;
    os::Thread drag_thread_;
};

std::optional<Capture> WinDesktop::capture(const ScreenRect& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return std::nullopt;
    win::ScreenDc screen(GetDC(nullptr));
    if (!screen) return std::nullopt;
    win::MemoryDc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::DibBitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || bits == nullptr) return std::nullopt;
    auto selected = win::select_into(memory.get(), bitmap.get());
    if (!selected) return std::nullopt;
    // CAPTUREBLT takes layered windows such as the overlay along.
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top,
                SRCCOPY | CAPTUREBLT)) {
        return std::nullopt;
    }
    GdiFlush();
    Capture capture{width, height, {}};
    const auto* bytes = static_cast<const std::uint8_t*>(bits);
    capture.bgra.assign(
        bytes, bytes + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    return capture;
}

}  // namespace

Result<std::unique_ptr<Desktop>> open_desktop() {
    become_dpi_aware();
    if (auto reason = not_interactive()) return fail(*reason);
    SetConsoleCtrlHandler(release_on_break, TRUE);
    POINT saved{};
    if (!GetCursorPos(&saved)) return fail("no interactive desktop: the cursor cannot be read");
    return std::make_unique<WinDesktop>(saved);
}

}  // namespace vth::peer

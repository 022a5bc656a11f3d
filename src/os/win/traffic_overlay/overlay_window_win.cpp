#include "os/win/traffic_overlay/overlay_window_win.hpp"

#include <wtsapi32.h>

#include <mutex>
#include <optional>
#include <string>

#include "common/diagnostics.hpp"
#include "os/win/traffic_drop/ole_text_drop_target.hpp"
#include "os/win/traffic_overlay/render.hpp"
#include "traffic_overlay/gestures.hpp"
#include "traffic_overlay/overlay_size.hpp"
#include "traffic_overlay/overlay_window.hpp"

namespace vth::win {
namespace {

void destroy_window(HWND window) noexcept {
    DestroyWindow(window);
}
using OwnedWindow = Owned<HWND, destroy_window>;

void unregister_session_notification(HWND window) noexcept {
    WTSUnRegisterSessionNotification(window);
}
// A window registered for session notifications; unregistered before the
// window is destroyed.
using SessionRegistration = Owned<HWND, unregister_session_notification>;

void unhook_win_event(HWINEVENTHOOK hook) noexcept {
    UnhookWinEvent(hook);
}
using WinEventHook = Owned<HWINEVENTHOOK, unhook_win_event>;

// The state whose foreground signal the hook of this thread raises. An
// out-of-context hook calls back on the thread that set it, from inside its
// message retrieval, so only the overlay thread's dispatch ever reads this.
thread_local DesktopWatch* hooked_desktop = nullptr;

void CALLBACK on_foreground_change(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) noexcept {
    if (hooked_desktop != nullptr) hooked_desktop->foreground_changed = true;
}

void warn(std::string message, std::string error = {}) {
    if (!diag::has_sink()) return;
    diag::Event event{
        diag::Level::warning, std::string(diag::overlay_target), std::move(message), {}};
    if (!error.empty()) event.fields.push_back({"error", std::move(error)});
    diag::emit(event);
}

// Nothing while another desktop has the input (lock screen, secure attention,
// an elevation prompt): GetCursorPos fails there.
std::optional<ScreenPoint> cursor_position() noexcept {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) return std::nullopt;
    return ScreenPoint{cursor.x, cursor.y};
}

std::optional<ScreenPoint> window_origin(HWND window) noexcept {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return std::nullopt;
    return ScreenPoint{rect.left, rect.top};
}

OverlayState* state_of(HWND window) noexcept {
    return reinterpret_cast<OverlayState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The display layout or a work area changed, the session came back to this
// screen (unlock, console or remote connect, each with its own display set),
// or the machine woke: the loop places the overlay again once things settle.
bool is_desktop_change(UINT message, WPARAM wparam) noexcept {
    switch (message) {
        case WM_DISPLAYCHANGE:
            return true;
        case WM_SETTINGCHANGE:
            return wparam == SPI_SETWORKAREA;
        case WM_WTSSESSION_CHANGE:
            return wparam == WTS_SESSION_UNLOCK || wparam == WTS_CONSOLE_CONNECT ||
                   wparam == WTS_REMOTE_CONNECT;
        case WM_POWERBROADCAST:
            return wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND;
        default:
            return false;
    }
}

// Going back on top is done when the foreground window changes, not checked
// on every pass: Windows reports each change to an out-of-context win-event
// hook on the thread that set it, through the message loop this thread runs
// anyway, so nothing is asked while the desktop is at rest. Raising without
// activation changes no foreground window, so it raises no new event, and
// two programs that both do this settle after one move each instead of
// taking turns on every pass. Events of this process are skipped: only the
// overlay could cause them, and it is on top already.
WinEventHook hook_foreground_changes(DesktopWatch& desktop) noexcept {
    WinEventHook hook(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                      on_foreground_change, 0, 0,
                                      WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (hook) {
        hooked_desktop = &desktop;
    } else {
        warn("overlay foreground hook unavailable", std::to_string(GetLastError()));
    }
    return hook;
}

SessionRegistration register_session_notification(HWND window) noexcept {
    if (WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION)) {
        return SessionRegistration(window);
    }
    warn("overlay session notifications unavailable", std::to_string(GetLastError()));
    return SessionRegistration();
}

class Win32OverlayWindow final : public OverlayWindow {
  public:
    Win32OverlayWindow(OwnedWindow window, std::optional<OleTextDropTarget> drop_target,
                       DesktopWatch& desktop)
        : window_(std::move(window)),
          drop_target_(std::move(drop_target)),
          session_(register_session_notification(window_.get())),
          foreground_hook_(hook_foreground_changes(desktop)) {}

    ~Win32OverlayWindow() override {
        foreground_hook_.reset();
        hooked_desktop = nullptr;
        session_.reset();
        drop_target_.reset();
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        window_.reset();
    }

    bool drop_target_registered() const override { return drop_target_.has_value(); }

    void show(bool visible) override {
        ShowWindow(window_.get(), visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    }

    void move_to(ScreenPoint position) override {
        SetWindowPos(window_.get(), HWND_TOP, position.x, position.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }

    void move_keeping_visibility(ScreenPoint position) override {
        SetWindowPos(window_.get(), HWND_TOP, position.x, position.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void restore_topmost() override {
        SetWindowPos(window_.get(), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    void dispatch_messages() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    std::optional<ScreenPoint> outer_position() const override {
        RECT rect{};
        if (!GetWindowRect(window_.get(), &rect)) return std::nullopt;
        return ScreenPoint{rect.left, rect.top};
    }

    std::optional<std::string> take_dropped_text() override {
        if (!drop_target_) return std::nullopt;
        return drop_target_->take_text();
    }

    void render(const OverlayContent& content) override { win::render(window_.get(), content); }

  private:
    // Destroyed in the order the destructor spells out.
    OwnedWindow window_;
    std::optional<OleTextDropTarget> drop_target_;
    SessionRegistration session_;
    WinEventHook foreground_hook_;
};

}  // namespace

void register_class() noexcept {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.style = CS_DBLCLKS;
        window_class.lpfnWndProc = wnd_proc;
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.lpszClassName = overlay_class_name;
        RegisterClassExW(&window_class);
    });
}

LRESULT CALLBACK wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    OverlayState* state = state_of(window);
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    GestureState& gesture = state->gesture;
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_MOUSEMOVE:
            if (auto target = gesture_move(gesture, cursor_position())) {
                MoveWindow(window, target->x, target->y, OVERLAY_WIDTH, OVERLAY_HEIGHT, FALSE);
            }
            return 0;
        case WM_LBUTTONDOWN:
            if (gesture_press(gesture, cursor_position(), window_origin(window))) {
                SetCapture(window);
            }
            return 0;
        case WM_LBUTTONUP:
            ReleaseCapture();
            gesture_release(gesture, cursor_position());
            return 0;
        case WM_LBUTTONDBLCLK:
            gesture_double_click(gesture, cursor_position(), window_origin(window));
            ReleaseCapture();
            return 0;
        case WM_RBUTTONDOWN:
            gesture_right_press(gesture);
            return 0;
        case WM_RBUTTONUP:
            gesture_right_release(gesture);
            return 0;
        default:
            if (is_desktop_change(message, wparam)) state->desktop.desktop_changed = true;
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace vth::win

namespace vth {

std::unique_ptr<OverlayWindow> open_system_overlay_window(
    ScreenPoint position, OverlayState& state, const std::shared_ptr<OverlayCells>& cells) {
    win::register_class();
    win::OwnedWindow window(CreateWindowExW(
        win::overlay_ex_style, win::overlay_class_name, win::overlay_title, WS_POPUP, position.x,
        position.y, OVERLAY_WIDTH, OVERLAY_HEIGHT, nullptr, nullptr, nullptr, nullptr));
    if (!window) {
        win::warn("traffic overlay CreateWindowExW failed");
        return nullptr;
    }
    SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    std::optional<win::OleTextDropTarget> drop_target;
    if (auto registered = win::OleTextDropTarget::register_on(window.get(), cells->drop_hovering)) {
        drop_target.emplace(std::move(*registered));
    } else {
        win::warn("overlay text drop unavailable", registered.error().text);
    }
    return std::make_unique<win::Win32OverlayWindow>(std::move(window), std::move(drop_target),
                                                     state.desktop);
}

}  // namespace vth

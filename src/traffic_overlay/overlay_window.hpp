#pragma once
// The overlay window as the overlay thread's loop sees it. Windows
// implements it with a layered tool window, its message queue and the OLE
// drop target; the native build with a stand-in that has no pixels and no
// messages; tests with scripted fakes. Created, used and destroyed on the
// overlay thread only.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/screen_point.hpp"
#include "traffic_overlay/overlay_cells.hpp"
#include "traffic_overlay/overlay_state.hpp"

namespace vth {

class OverlayWindow {
  public:
    // Revokes the drop target, clears the window's link to the state, then
    // destroys the window, in that order.
    virtual ~OverlayWindow() = default;

    // Whether the drop target was registered when the window was opened.
    virtual bool drop_target_registered() const = 0;
    // Shown without activation, or hidden.
    virtual void show(bool visible) = 0;
    // Moved (and shown) without activation; the outcome is not reported.
    virtual void move_to(ScreenPoint position) = 0;
    // Moved without activation, shown or hidden as it was; the outcome is not
    // reported.
    virtual void move_keeping_visibility(ScreenPoint position) = 0;
    // Back on top of the topmost band, without activation, shown or hidden
    // as it was.
    virtual void restore_topmost() = 0;
    // Handles every pending window message; gestures update the state's
    // gesture record and may move the window; display, session, power and
    // foreground changes raise the state's desktop signals.
    virtual void dispatch_messages() = 0;
    // The window's outer top-left, when the system can tell.
    virtual std::optional<ScreenPoint> outer_position() const = 0;
    // The oldest dropped text not yet taken.
    virtual std::optional<std::string> take_dropped_text() = 0;
    // Draws content and presents it; failures leave the old picture.
    virtual void render(const OverlayContent& content) = 0;
};

// Opens the window at position, shown without activation, linked to state
// (which outlives it) and with the drop target registered on it where
// possible. Nothing when the window cannot be created.
using OverlayWindowOpener = std::function<std::unique_ptr<OverlayWindow>(
    ScreenPoint position, OverlayState& state, const std::shared_ptr<OverlayCells>& cells)>;

// The services of the overlay handle and thread, replaceable in tests.
struct OverlayServices {
    std::function<ScreenPoint(ScreenPoint)> clamp;
    OverlayWindowOpener open_window;
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> sleep;
};

// The system's window (or the native stand-in), clamping, clock and sleep.
OverlayServices system_overlay_services();

// The platform's window, as system_overlay_services uses it.
std::unique_ptr<OverlayWindow> open_system_overlay_window(
    ScreenPoint position, OverlayState& state, const std::shared_ptr<OverlayCells>& cells);

}  // namespace vth

#pragma once
// What the self-test needs of the desktop it runs on: the overlay window as
// other programs see it, real mouse input, a screen capture and an OLE drag
// from a window of its own. Win32 on Windows; natively there is none.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "common/screen_point.hpp"
#include "self_test_checks.hpp"
#include "self_test_judgements.hpp"

namespace vth::peer {

enum class MouseButton { left, right };

struct DragOutcome {
    long result = 0;           // DoDragDrop's HRESULT
    std::uint32_t effect = 0;  // the effect the target chose
};

class Desktop {
  public:
    // Releases any button still held and puts the cursor back where it was.
    virtual ~Desktop() = default;

    virtual std::vector<DisplayInfo> displays() = 0;
    virtual std::string windows_version() = 0;
    // The folder of this program, with a trailing separator.
    virtual std::string program_dir() = 0;

    // The overlay window of the process, found by its class name.
    virtual bool find_overlay(std::uint32_t pid) = 0;
    virtual std::optional<ScreenRect> overlay_rect() = 0;
    // Styles, size, class and title of the overlay found.
    virtual std::optional<WindowFacts> overlay_facts() = 0;
    virtual bool overlay_visible() = 0;
    virtual ForegroundFacts foreground() = 0;
    // True where a click activates a window even with WS_EX_NOACTIVATE (Wine).
    virtual bool clicks_activate_anyway() = 0;
    // Why input at the point would not reach the overlay (another window on
    // top of it, or one full-screen in front); nothing when it would.
    virtual std::optional<std::string> input_astray(ScreenPoint at) = 0;
    virtual std::optional<Capture> capture(const ScreenRect& rect) = 0;

    virtual ScreenPoint cursor() = 0;
    virtual std::chrono::milliseconds double_click_time() = 0;
    virtual Result<void> move_to(ScreenPoint to) = 0;
    virtual Result<void> press(MouseButton button, bool down) = 0;
    // Releases a button our input holds and puts the cursor back where it
    // was when the desktop was opened; Ctrl+C does the same.
    virtual void restore_cursor() = 0;

    // Shows a window of ours at the place; pressing the left button on it
    // starts an OLE drag offering the URL as a browser does.
    virtual Result<void> open_drag_source(const ScreenRect& place, const std::string& url) = 0;
    // What the drag ended with, once it has.
    virtual std::optional<DragOutcome> drag_outcome(std::chrono::milliseconds wait) = 0;
    virtual void close_drag_source() = 0;
};

// The desktop, or the one-line reason the self-test cannot run here.
Result<std::unique_ptr<Desktop>> open_desktop();

}  // namespace vth::peer

#pragma once
// The overlay thread's record for its window: the drawn content, the
// pointer gesture state, where the overlay is meant to be and what the
// desktop around it did. Confined to the overlay thread (no lock); the window
// procedure reaches it through the window's user-data slot.
#include <chrono>
#include <cstdint>
#include <optional>

#include "common/screen_point.hpp"
#include "traffic_overlay/desktop_watch.hpp"
#include "traffic_overlay/overlay_content.hpp"

namespace vth {

// One-byte gesture codes; 0 means nothing is pending.
enum class OverlayAction : std::uint8_t {
    none = 0,
    RestoreMain = 1,
    HideToTray = 2,
    ToggleVpn = 3,
    DragEnded = 5,
};

// Where the left button went down: the cursor and the window's outer
// top-left at that moment, always known together.
struct Press {
    ScreenPoint point;
    ScreenPoint origin;
};

struct GestureState {
    std::optional<Press> press;
    bool press_in_top_zone = false;
    bool dragging = false;
    bool user_moved = false;  // never cleared
    bool double_click_pending = false;
    bool double_click_seen = false;
    bool right_button_down = false;
    OverlayAction pending_action = OverlayAction::none;
    bool drag_ended = false;  // a drag ended since the last pass
};

struct OverlayState {
    OverlayContent content;
    std::uint64_t content_hash = 0;
    std::optional<std::chrono::steady_clock::time_point> last_content_render;
    GestureState gesture;
    // Where the overlay is meant to be: the position the configuration or the
    // last applied SetPosition asked for, before clamping, or where the
    // user's last drag left it. A settled desktop change places the overlay
    // at its clamp, so an overlay whose display went away and came back
    // returns to its place.
    ScreenPoint intended_position;
    DesktopWatch desktop;
};

}  // namespace vth

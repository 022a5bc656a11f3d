#pragma once
// The overlay thread's record for its window: the drawn content and the
// pointer gesture state. Confined to the overlay thread (no lock); the window
// procedure reaches it through the window's user-data slot.
#include <chrono>
#include <cstdint>
#include <optional>

#include "common/screen_point.hpp"
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
    bool displays_changed = false;  // the display layout or a work area changed
};

struct OverlayState {
    OverlayContent content;
    std::uint64_t content_hash = 0;
    std::optional<std::chrono::steady_clock::time_point> last_content_render;
    GestureState gesture;
};

}  // namespace vth

#pragma once
// The overlay thread's record for its window. Confined to the overlay thread
// (no lock); the renderer reads only the content fields it inherits.
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

struct OverlayState : OverlayContent {
    std::uint64_t content_hash = 0;
    std::optional<std::chrono::steady_clock::time_point> last_content_render;
    std::optional<ScreenPoint> press_point;  // set and cleared with press_origin
    std::optional<ScreenPoint> press_origin;
    bool press_in_top_zone = false;
    bool dragging = false;
    bool user_moved = false;  // never cleared
    bool double_click_pending = false;
    bool double_click_seen = false;
    bool right_button_down = false;
    OverlayAction pending_action = OverlayAction::none;
};

}  // namespace vth

#pragma once
// One event for the GUI, as the library queues it.
#include <cstdint>
#include <optional>
#include <string>

#include "common/screen_point.hpp"

namespace vth::client {

// The values of vtc_event_kind.
enum class EventKind : std::int32_t {
    connected = 1,
    state = 2,
    action = 3,
    text_dropped = 4,
    add_from_clipboard = 5,
    exited = 6,
    restarting = 7,
    gave_up = 8,
};

struct ClientEvent {
    EventKind kind = EventKind::state;
    std::optional<ScreenPoint> position;
    bool hovering = false;
    bool interacting = false;
    bool ole_registered = false;
    int exit_code = -1;
    std::uint32_t delay_ms = 0;
    std::string integrity;
    std::string text;
};

}  // namespace vth::client

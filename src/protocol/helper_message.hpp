#pragma once
// Messages to the GUI, each one compact JSON object and a line feed.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/screen_point.hpp"

namespace vth {

namespace message {

struct Hello {
    std::string token;
    std::string integrity;
    bool ole_registered = false;
};

struct State {
    bool hovering = false;
    bool interacting = false;
    std::optional<ScreenPoint> position;  // null x and y when absent
};

struct TextDropped {
    std::string text;
};

struct AddFromClipboard {};

struct Action {
    std::string action;  // "restoreMain", "hideToTray", "toggleVpn" or "dragEnded"
    std::optional<ScreenPoint> position;
};

}  // namespace message

using HelperMessage = std::variant<message::Hello, message::State, message::TextDropped,
                                   message::AddFromClipboard, message::Action>;

}  // namespace vth

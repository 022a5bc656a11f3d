#pragma once
// The values on the two channels between the main thread's handle and the
// overlay thread. Texts are UTF-8 and owned by the message.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "traffic_overlay/overlay_content.hpp"
#include "traffic_overlay/overlay_state.hpp"

namespace vth {

namespace overlay_cmd {

struct SetVisible {
    bool visible = false;
};
struct SetPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
struct UpdateContent {
    OverlayContent content;
};
struct Shutdown {};

}  // namespace overlay_cmd

using OverlayCmd = std::variant<overlay_cmd::SetVisible, overlay_cmd::SetPosition,
                                overlay_cmd::UpdateContent, overlay_cmd::Shutdown>;

namespace overlay_event {

// What pump returns when no event is queued; never sent.
struct Idle {
    friend bool operator==(const Idle&, const Idle&) = default;
};
struct Action {
    OverlayAction action = OverlayAction::none;
    friend bool operator==(const Action&, const Action&) = default;
};
struct TextDropped {
    std::string text;
    friend bool operator==(const TextDropped&, const TextDropped&) = default;
};
struct AddFromClipboard {
    friend bool operator==(const AddFromClipboard&, const AddFromClipboard&) = default;
};

}  // namespace overlay_event

using TrafficOverlayEvent =
    std::variant<overlay_event::Idle, overlay_event::Action, overlay_event::TextDropped,
                 overlay_event::AddFromClipboard>;

}  // namespace vth

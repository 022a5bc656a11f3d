#include "client/command_plan.hpp"

#include "protocol/command_encode.hpp"

namespace vth::client {

ScreenPoint start_place(const Wanted& wanted, ScreenPoint initial) {
    if (wanted.dragged) return *wanted.dragged;
    if (wanted.position) return *wanted.position;
    return initial;
}

Unsent after_hello(const Wanted& wanted) {
    // The place went into the configuration; a setPosition would also show
    // an overlay the GUI hid.
    Unsent unsent;
    unsent.visible = wanted.visible.has_value();
    unsent.content = wanted.content != nullptr;
    return unsent;
}

std::optional<Outgoing> next_line(Unsent& unsent, const Wanted& wanted,
                                  std::chrono::steady_clock::time_point now,
                                  std::optional<std::chrono::steady_clock::time_point>& due_at) {
    due_at.reset();
    if (unsent.shutdown) {
        unsent = Unsent{};
        return Outgoing{encode_command(command::Shutdown{}), nullptr};
    }
    if (unsent.position) {
        unsent.position = false;
        // The helper ignores it once the user dragged the overlay; so do we,
        // also for a helper started again.
        if (wanted.position && !wanted.dragged) {
            return Outgoing{
                encode_command(command::SetPosition{wanted.position->x, wanted.position->y}),
                nullptr};
        }
    }
    if (unsent.visible) {
        unsent.visible = false;
        if (wanted.visible) {
            return Outgoing{encode_command(command::SetVisible{*wanted.visible}), nullptr};
        }
    }
    if (unsent.content && wanted.content) {
        if (unsent.content_sent && now < *unsent.content_sent + content_interval) {
            due_at = *unsent.content_sent + content_interval;
            return std::nullopt;
        }
        unsent.content = false;
        unsent.content_sent = now;
        return Outgoing{{}, wanted.content};
    }
    unsent.content = false;
    return std::nullopt;
}

}  // namespace vth::client

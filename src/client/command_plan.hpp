#pragma once
// What the GUI asked of the overlay, and which of it the current helper has
// yet to hear. A restarted helper hears it all again; content goes out at
// most once per content_interval, and the newest content always does.
// Plain data and free functions; the client guards them with its mutex.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "common/screen_point.hpp"
#include "protocol/overlay_command.hpp"

namespace vth::client {

inline constexpr std::chrono::milliseconds content_interval{80};

struct Wanted {
    std::optional<bool> visible;
    std::optional<ScreenPoint> position;  // asked through vtc_set_position
    std::optional<ScreenPoint> dragged;   // where the user last dropped the overlay
    // Shared with a sender still writing an older one.
    std::shared_ptr<const command::UpdateContent> content;
};

struct Unsent {
    bool visible = false;
    bool position = false;
    bool content = false;
    bool shutdown = false;
    std::optional<std::chrono::steady_clock::time_point> content_sent;
};

// Where a newly started helper puts the overlay: the user's place first, then
// the GUI's last, then the start options'.
ScreenPoint start_place(const Wanted& wanted, ScreenPoint initial);

// A new helper said hello: it has the place from its configuration and
// needs visibility and content again.
Unsent after_hello(const Wanted& wanted);

// A line ready to go, or content the sender encodes as it writes, outside
// the lock.
struct Outgoing {
    std::string line;
    std::shared_ptr<const command::UpdateContent> content;
};

// The next line for the helper at now; nothing when nothing is due, and then
// due_at says when paced content will be (if any waits). After shutdown
// nothing else goes.
std::optional<Outgoing> next_line(Unsent& unsent, const Wanted& wanted,
                                  std::chrono::steady_clock::time_point now,
                                  std::optional<std::chrono::steady_clock::time_point>& due_at);

}  // namespace vth::client

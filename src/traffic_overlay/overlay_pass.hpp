#pragma once
// One pass of the overlay thread's loop and the loop itself, over the window
// interface, so the whole thread runs natively with a stand-in window and a
// fake clock. Overlay thread only.
#include <chrono>
#include <cstdint>
#include <optional>

#include "common/channel.hpp"
#include "traffic_overlay/overlay_cells.hpp"
#include "traffic_overlay/overlay_messages.hpp"
#include "traffic_overlay/overlay_state.hpp"
#include "traffic_overlay/overlay_window.hpp"

namespace vth {

inline constexpr auto overlay_loop_sleep = std::chrono::milliseconds(8);
inline constexpr auto content_redraw_interval = std::chrono::milliseconds(80);

// A content redraw is due when the hash changed and no content redraw
// happened yet or at least 80 whole milliseconds ago.
bool content_redraw_due(std::uint64_t new_hash, std::uint64_t drawn_hash,
                        std::optional<std::chrono::steady_clock::time_point> last_render,
                        std::chrono::steady_clock::time_point now);

struct OverlayThread {
    OverlayState& state;
    OverlayWindow& window;
    Receiver<OverlayCmd>& commands;
    Sender<TrafficOverlayEvent>& events;
    OverlayCells& cells;
    const OverlayServices& services;
};

// Applies one command; true for Shutdown.
bool apply_overlay_command(OverlayThread& thread, OverlayCmd command);

// Takes every queued command; true when one of them was Shutdown.
bool apply_queued_commands(OverlayThread& thread);

// The steps after message dispatch: interaction, the end of a drag,
// double-click, action, dropped text, drop hover, the desktop around the
// overlay.
void finish_overlay_pass(OverlayThread& thread);

// Passes until one has applied Shutdown, sleeping 8 ms between passes. A
// pass that throws is abandoned and reported to the diagnostics facade.
void run_overlay_loop(OverlayThread& thread);

// Where the overlay was asked to be at creation, and where that put it.
struct OverlayPlacement {
    ScreenPoint requested;
    ScreenPoint clamped;
};

// The thread body: opens the window at the clamped position (ending at once
// when it cannot), sets ole_registered, draws the first picture, runs the
// loop and closes the window. The requested position is where the overlay is
// meant to be until a SetPosition or a drag says otherwise.
void overlay_thread_main(OverlayPlacement placement, Receiver<OverlayCmd> commands,
                         Sender<TrafficOverlayEvent> events,
                         const std::shared_ptr<OverlayCells>& cells,
                         const OverlayServices& services);

}  // namespace vth

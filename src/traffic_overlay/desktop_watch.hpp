#pragma once
// When the overlay thread reacts to the desktop around it: display changes,
// resume, unlock and remote connects come in bursts and are acted on once the
// burst has settled; a change of the foreground window lets the overlay go
// back on top once, a little later, so that it never fights another program
// that does the same. Overlay thread only; no lock.
#include <chrono>
#include <optional>

namespace vth {

// Quiet time after the last desktop change, and after the last press or
// drag, before the overlay is placed again.
inline constexpr auto desktop_settle_time = std::chrono::milliseconds(1000);
// Wait after a foreground change before going back on top: a window that is
// activated often places itself in the topmost band just after.
inline constexpr auto topmost_restore_delay = std::chrono::milliseconds(250);

struct DesktopWatch {
    // Set by the window procedure and the foreground hook, taken by the next pass.
    bool desktop_changed = false;
    bool foreground_changed = false;
    // A desktop change not yet acted on: when it last changed.
    std::optional<std::chrono::steady_clock::time_point> settling_since;
    // A return to the top not yet done: when it is due.
    std::optional<std::chrono::steady_clock::time_point> topmost_due;
};

struct DesktopDue {
    // Place the overlay again, present its picture again and put it back on top.
    bool settled = false;
    // Put it back on top.
    bool restore_topmost = false;
    friend bool operator==(const DesktopDue&, const DesktopDue&) = default;
};

// Whether anything is raised or waiting; a pass at rest asks nothing more,
// not even the clock.
bool desktop_watch_busy(const DesktopWatch& watch);

// Takes the signals raised since the last pass and says what is due now.
// A settled change is due once per burst, when the desktop has not changed
// for desktop_settle_time and the user has not held the overlay for as long;
// a return to the top once per burst of foreground changes, topmost_restore_delay
// after the last.
DesktopDue take_desktop_due(DesktopWatch& watch, std::chrono::steady_clock::time_point now,
                            bool interacting);

}  // namespace vth

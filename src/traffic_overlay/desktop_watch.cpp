#include "traffic_overlay/desktop_watch.hpp"

#include <utility>

namespace vth {

bool desktop_watch_busy(const DesktopWatch& watch) {
    return watch.desktop_changed || watch.foreground_changed || watch.settling_since ||
           watch.topmost_due;
}

DesktopDue take_desktop_due(DesktopWatch& watch, std::chrono::steady_clock::time_point now,
                            bool interacting) {
    if (std::exchange(watch.desktop_changed, false)) watch.settling_since = now;
    if (std::exchange(watch.foreground_changed, false)) {
        watch.topmost_due = now + topmost_restore_delay;
    }
    // A press or drag holds a pending change back and restarts its quiet time,
    // so the move never lands under the pointer or races the drag's report.
    if (interacting && watch.settling_since) watch.settling_since = now;

    DesktopDue due;
    if (watch.settling_since && now - *watch.settling_since >= desktop_settle_time) {
        watch.settling_since.reset();
        due.settled = true;
    }
    if (watch.topmost_due && now >= *watch.topmost_due) {
        watch.topmost_due.reset();
        due.restore_topmost = true;
    }
    return due;
}

}  // namespace vth

#pragma once
// When a helper that ended is started again: capped doubling backoff, and a
// limit of restarts within any minute, past which the library gives up.
// Plain data and free functions; the supervising thread owns the history.
#include <chrono>
#include <optional>
#include <vector>

namespace vth::client {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

struct RestartPolicy {
    Milliseconds first_delay{500};
    Milliseconds max_delay{30000};
    unsigned per_minute = 5;
};

struct RestartHistory {
    std::vector<Clock::time_point> restarts;  // within the last minute
    Milliseconds last_delay{0};               // 0: the next restart waits first_delay
};

// The wait before the next start, recorded as a restart at now; nothing when
// per_minute restarts already happened within the last minute.
std::optional<Milliseconds> plan_restart(RestartHistory& history, const RestartPolicy& policy,
                                         Clock::time_point now);

// A helper that stayed connected this long ran well: the next restart waits
// first_delay again.
inline constexpr Milliseconds healthy_run{60000};
void note_run(RestartHistory& history, Milliseconds connected_for);

}  // namespace vth::client

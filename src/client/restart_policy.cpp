#include "client/restart_policy.hpp"

#include <algorithm>

namespace vth::client {

std::optional<Milliseconds> plan_restart(RestartHistory& history, const RestartPolicy& policy,
                                         Clock::time_point now) {
    constexpr auto window = std::chrono::minutes(1);
    std::erase_if(history.restarts, [&](Clock::time_point t) { return now - t >= window; });
    if (history.restarts.size() >= policy.per_minute) return std::nullopt;
    const Milliseconds delay = history.last_delay.count() == 0
                                   ? policy.first_delay
                                   : std::min(history.last_delay * 2, policy.max_delay);
    history.last_delay = std::min(delay, policy.max_delay);
    history.restarts.push_back(now);
    return history.last_delay;
}

void note_run(RestartHistory& history, Milliseconds connected_for) {
    if (connected_for >= healthy_run) history.last_delay = Milliseconds{0};
}

}  // namespace vth::client

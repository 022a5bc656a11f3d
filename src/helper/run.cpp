#include "helper/run.hpp"

#include "helper/connection.hpp"
#include "helper/log.hpp"
#include "helper/startup.hpp"

namespace vth {

Result<void> run() {
    auto started = start_up(system_startup_services());
    if (!started) return std::unexpected(started.error());
    return run_connection(started->config, started->integrity, system_connection_services());
}

void helper_main() noexcept {
    try {
        auto result = run();
        if (!result) append_log("traffic helper fatal: " + result.error().text);
    } catch (...) {
        // Nothing can be reported without a log line, and the exit code stays 0.
    }
}

}  // namespace vth

#include "helper/run.hpp"

#include <exception>
#include <string>

#include "helper/connection.hpp"
#include "helper/log.hpp"
#include "helper/startup.hpp"

namespace vth {

Result<void> run() {
    auto started = start_up(system_startup_services());
    if (!started) return std::unexpected(started.error());
    return run_connection(started->config, started->integrity, system_connection_services());
}

namespace {

void log_fatal(std::string_view text) noexcept {
    try {
        append_last_log_line(std::string(fatal_prefix) + std::string(text));
    } catch (...) {
        // No memory even for the line: the exit code still says nothing.
    }
}

}  // namespace

void helper_main() noexcept {
    try {
        auto result = run();
        if (!result) log_fatal(result.error().text);
    } catch (const std::exception& e) {
        log_fatal(e.what());
    } catch (...) {
        log_fatal("unknown exception");
    }
}

}  // namespace vth

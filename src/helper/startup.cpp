#include "helper/startup.hpp"

#include "common/build_id.hpp"
#include "common/data_directory.hpp"
#include "common/integrity.hpp"
#include "common/os.hpp"
#include "helper/log.hpp"
#include "protocol/config_decode.hpp"

namespace vth {

StartupServices system_startup_services() {
    return StartupServices{
        .config_path = [] { return data_file("traffic-helper.json"); },
        .read_file = [](const std::string& path) { return os::read_file(path); },
        .is_not_found = [](long code) { return os::is_not_found(code); },
        .is_locked = [](long code) { return os::is_locked(code); },
        .now = [] { return std::chrono::steady_clock::now(); },
        .sleep = [](std::chrono::milliseconds d) { os::sleep_for(d); },
        .log = [](std::string_view message) { append_log(message); },
        .integrity = [] { return current_integrity_level(); },
        .process_id = [] { return os::process_id(); },
        .build_id = build_id(),
    };
}

Result<HelperConfig> wait_for_config(const StartupServices& services, const std::string& path) {
    const auto deadline = services.now() + config_wait_deadline;
    for (;;) {
        auto bytes = services.read_file(path);
        bool before_deadline = services.now() < deadline;
        if (!bytes) {
            const long code = bytes.error().os_code;
            const bool locked = services.is_locked(code);
            if (!(locked || services.is_not_found(code)) || !before_deadline) {
                return std::unexpected(bytes.error());
            }
            services.log(locked ? "config locked by another program; waiting for it to release "
                                  "traffic-helper.json"
                                : "config missing; waiting for GUI to write traffic-helper.json");
        } else {
            auto config = decode_config(*bytes);
            if (config) return config;
            if (!before_deadline) return config;
            services.log("config parse retry: " + config.error().text);
        }
        services.sleep(config_retry_pause);
    }
}

Result<Started> start_up(const StartupServices& services) {
    auto path = services.config_path();
    if (!path) return fail("LOCALAPPDATA is unavailable");
    auto config = wait_for_config(services, *path);
    if (!config) return std::unexpected(config.error());
    // Byte-for-byte: no name resolution, so "localhost" or "::1" are refused too.
    if (config->host != "127.0.0.1") return fail("traffic helper endpoint must be loopback");
    Started started{std::move(*config), services.integrity()};
    services.log("starting helper build=" + services.build_id + " pid=" +
                 std::to_string(services.process_id()) + " integrity=" + started.integrity +
                 " gui_pid=" + std::to_string(started.config.gui_pid));
    return started;
}

}  // namespace vth

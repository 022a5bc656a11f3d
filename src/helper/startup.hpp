#pragma once
// Start-up: find traffic-helper.json, wait for it patiently, refuse any
// endpoint but 127.0.0.1, and log the start line.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "protocol/config.hpp"

namespace vth {

// The services start-up uses, replaceable in tests.
struct StartupServices {
    std::function<std::optional<std::string>()> config_path;  // nothing: LOCALAPPDATA unset
    std::function<Result<std::string>(const std::string&)> read_file;
    std::function<bool(long)> is_not_found;
    std::function<bool(long)> is_locked;  // the file is there, held by another program
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<void(std::string_view)> log;
    std::function<std::string()> integrity;
    std::function<std::uint32_t()> process_id;
    std::string build_id;
};

StartupServices system_startup_services();

struct Started {
    HelperConfig config;
    std::string integrity;
};

inline constexpr auto config_wait_deadline = std::chrono::seconds(4);
inline constexpr auto config_retry_pause = std::chrono::milliseconds(80);

// Waits up to 4 s for a decodable configuration; the file is read again on
// every retry, so one the GUI is still writing is picked up once complete.
// Each retry logs one line saying why: missing, locked, or not decodable.
Result<HelperConfig> wait_for_config(const StartupServices& services, const std::string& path);

// The whole start-up sequence, ending with the start line in the log.
Result<Started> start_up(const StartupServices& services);

}  // namespace vth

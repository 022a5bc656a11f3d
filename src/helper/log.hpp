#pragma once
// The helper's plain-text log, traffic-helper.log in the data directory.
// Called from the main and the command reader thread without a common lock:
// each line is its own open-append-close cycle.
#include <cstdint>
#include <string>
#include <string_view>

namespace vth {

// "SystemTime { intervals: N } message\n", control characters in the
// message escaped (so never a CR, LF or NUL inside the line).
std::string format_log_line(std::uint64_t file_time, std::string_view message);

// Appends one line; every failure only loses the line.
void append_log(std::string_view message) noexcept;

}  // namespace vth

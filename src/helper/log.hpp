#pragma once
// The helper's plain-text log, traffic-helper.log in the data directory.
// Called from the main and the command reader thread: each line is its own
// open-append-close cycle, and lines pass one at a time, so the run's last
// line can close the log to every line after it.
#include <cstdint>
#include <string>
#include <string_view>

namespace vth {

// "SystemTime { intervals: N } message\n", control characters in the
// message escaped (so never a CR, LF or NUL inside the line).
std::string format_log_line(std::uint64_t file_time, std::string_view message);

// Appends one line unless the log is closed; every failure only loses the line.
void append_log(std::string_view message) noexcept;

// Appends the run's last line ("received shutdown" or the fatal line) and
// closes the log: a line another thread is writing is finished first, and
// every later call of either function writes nothing.
void append_last_log_line(std::string_view message) noexcept;

}  // namespace vth

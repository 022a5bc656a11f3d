#include "helper/log.hpp"

#include <mutex>

#include "common/control_escape.hpp"
#include "common/data_directory.hpp"
#include "common/os.hpp"

namespace vth {
namespace {

// The command reader is detached and may be writing a line at any moment, so
// the last line and the closing happen under the same lock as every write.
std::mutex log_lock;
constinit bool log_closed = false;

void write_line(std::string_view message, bool last) noexcept {
    try {
        const std::lock_guard lock(log_lock);
        if (log_closed) return;
        log_closed = last;
        append_to_data_file("traffic-helper.log",
                            format_log_line(os::system_time_as_file_time(), message));
    } catch (...) {
        // Out of memory while building the line: the line is lost, nothing else.
    }
}

}  // namespace

std::string format_log_line(std::uint64_t file_time, std::string_view message) {
    std::string line = "SystemTime { intervals: ";
    line += std::to_string(file_time);
    line += " } ";
    // Texts from outside are escaped where a message is built; this is the
    // backstop that keeps one message on one line whatever a caller missed.
    line += escape_controls(message);
    line += '\n';
    return line;
}

void append_log(std::string_view message) noexcept {
    write_line(message, false);
}

void append_last_log_line(std::string_view message) noexcept {
    write_line(message, true);
}

}  // namespace vth

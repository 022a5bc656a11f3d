#include "helper/log.hpp"

#include "common/control_escape.hpp"
#include "common/data_directory.hpp"
#include "common/os.hpp"

namespace vth {

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
    try {
        append_to_data_file("traffic-helper.log",
                            format_log_line(os::system_time_as_file_time(), message));
    } catch (...) {
        // Out of memory while building the line: the line is lost, nothing else.
    }
}

}  // namespace vth

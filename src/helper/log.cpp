#include "helper/log.hpp"

#include "common/data_directory.hpp"
#include "common/os.hpp"

namespace vth {

std::string format_log_line(std::uint64_t file_time, std::string_view message) {
    std::string line = "SystemTime { intervals: ";
    line += std::to_string(file_time);
    line += " } ";
    line += message;
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

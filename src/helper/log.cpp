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
        auto dir = data_directory();
        if (!dir) return;
        os::create_directories(*dir);
        std::string line = format_log_line(os::system_time_as_file_time(), message);
        os::append_to_file(os::join_path(*dir, "traffic-helper.log"), line);
    } catch (...) {
        // Out of memory while building the line: the line is lost, nothing else.
    }
}

}  // namespace vth

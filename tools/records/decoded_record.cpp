#include "records/decoded_record.hpp"

#include "protocol/command_encode.hpp"

namespace vth {

// A record is what a GUI would send for the same values, so the wire encoder
// writes it; only the line's end is left off.
std::string config_record(const HelperConfig& config) {
    return encode_config(config);
}

std::string command_record(const OverlayCommand& command) {
    std::string line = encode_command(command);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

}  // namespace vth

#pragma once
// What the GUI end writes: commands as lines for the helper, and the
// configuration file. Any thread.
#include <string>

#include "protocol/config.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

// Compact JSON with keys in the order the guide shows, then "\n". Samples go
// as [t, up, down]; a number that is not finite is sent as 0, which JSON can hold.
std::string encode_command(const OverlayCommand& command);

// traffic-helper.json: the six keys, numbers as JSON integers.
std::string encode_config(const HelperConfig& config);

}  // namespace vth

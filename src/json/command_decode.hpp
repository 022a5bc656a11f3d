#pragma once
// Strict decoding of one GUI command line (without its line end).
#include <string_view>

#include "common/error.hpp"
#include "helper/overlay_command.hpp"

namespace vth {

// The error text is what the log shows after "rejected invalid helper command: ".
Result<OverlayCommand> decode_command(std::string_view line);

}  // namespace vth

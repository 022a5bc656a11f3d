#pragma once
// Strict decoding of one GUI command line (without its line end).
#include <string_view>

#include "common/error.hpp"
#include "json/input_stream.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

// The error text is what the log shows after "rejected invalid helper command: ".
Result<OverlayCommand> decode_command(std::string_view line);

// The same answer for a line followed in memory by a NUL byte (a std::string,
// a LineReader view), read without a bounds test per byte.
Result<OverlayCommand> decode_command(json::NulTerminated line);

}  // namespace vth

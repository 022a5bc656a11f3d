#pragma once
// Decoded records as compact JSON, for the diagnostic tool and the tests
// that compare them with expected answers. Numbers are written so that they
// read back to the same values.
#include <string>

#include "protocol/config.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

// {"host":...,"port":...,"token":...,"x":...,"y":...,"gui_pid":...}
std::string config_record(const HelperConfig& config);

// {"type":...} and the variant's fields; feedback null or [text, ok],
// samples as [t, up, down].
std::string command_record(const OverlayCommand& command);

}  // namespace vth

#pragma once
// Reading the helper's lines on the GUI's side. Any thread.
#include <string_view>

#include "common/error.hpp"
#include "protocol/helper_message.hpp"

namespace vth {

// One line without its line feed: a flat object with a known "type" and the
// keys that type sends. Unknown keys are skipped, so a newer helper that adds
// one still reads; a key twice, a wrong JSON type, a missing key, x without
// y, or a nested value is an error.
Result<HelperMessage> decode_message(std::string_view line);

}  // namespace vth

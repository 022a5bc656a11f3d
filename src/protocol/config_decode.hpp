#pragma once
// Strict decoding of traffic-helper.json.
#include <string_view>

#include "common/error.hpp"
#include "protocol/config.hpp"

namespace vth {

// The whole file; the error text is what the log shows.
Result<HelperConfig> decode_config(std::string_view bytes);

}  // namespace vth

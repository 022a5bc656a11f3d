#pragma once
// traffic-helper.json as the GUI writes it for the helper.
#include <string>

#include "common/error.hpp"
#include "protocol/config.hpp"

namespace vth::peer {

// 32 lower-case hex digits from 16 random bytes.
Result<std::string> random_token();

// Writes data_dir/Vestrilon/traffic-helper.json (folders made as needed,
// an old file replaced); its path.
Result<std::string> write_config(const std::string& data_dir, const HelperConfig& config);

}  // namespace vth::peer

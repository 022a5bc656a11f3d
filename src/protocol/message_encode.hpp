#pragma once
// Messages to the GUI as sent on the connection.
#include <string>

#include "protocol/helper_message.hpp"

namespace vth {

// Compact JSON with keys in fixed order, then "\n".
std::string encode_message(const HelperMessage& message);

}  // namespace vth

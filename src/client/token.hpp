#pragma once
// The token a GUI writes for its helper and expects back in the hello.
// Any thread.
#include <string>

#include "common/error.hpp"

namespace vth::client {

// 128 bits from the system's random source, as 32 lower-case hex digits.
Result<std::string> random_token();

}  // namespace vth::client

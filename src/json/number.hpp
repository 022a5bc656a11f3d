#pragma once
#include <optional>
#include <string_view>

#include "json/errors.hpp"

namespace vth::json {

// The value of a well-formed JSON number: an unsigned integer when it has no
// fraction or exponent and fits 64 bits, a signed one when it is negative and
// fits, otherwise a float ("-0" is the float -0.0). Nothing when the float
// would be infinite.
std::optional<Value> number_value(std::string_view text);

}  // namespace vth::json

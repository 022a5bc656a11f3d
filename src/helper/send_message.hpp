#pragma once
#include <string_view>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"
#include "protocol/helper_message.hpp"

namespace vth {

// Encodes the message and writes the whole line. Main thread only, so lines
// never interleave. A write that takes nothing fails with "failed to write
// whole buffer"; any other write error is returned as it came.
Result<void> send_message(ByteSink& stream, const HelperMessage& message);

// The write loop under send_message.
Result<void> write_all(ByteSink& stream, std::string_view bytes);

}  // namespace vth

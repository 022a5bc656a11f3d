#pragma once
#include <cstdint>
#include <span>

#include "common/error.hpp"

namespace vth::peer {

// Fills bytes from the system's random source.
Result<void> fill_random(std::span<std::uint8_t> bytes);

}  // namespace vth::peer

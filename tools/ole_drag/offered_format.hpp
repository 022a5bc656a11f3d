#pragma once
// One clipboard format a drag offers: its bytes exactly as GetData hands
// them out, in one storage medium.
#include <cstdint>
#include <string>

namespace vth::drag {

enum class Medium { hglobal, stream };

struct OfferedFormat {
    std::uint16_t format = 0;
    std::int32_t lindex = -1;
    Medium medium = Medium::hglobal;
    std::string bytes;
};

}  // namespace vth::drag

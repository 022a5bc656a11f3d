#pragma once
// One clipboard format a drag offers: its bytes exactly as GetData hands
// them out, in one storage medium.
#include <cstdint>
#include <optional>
#include <string>

namespace vth::drag {

enum class Medium { hglobal, stream };

struct OfferedFormat {
    std::uint16_t format = 0;
    std::int32_t lindex = -1;
    Medium medium = Medium::hglobal;
    std::string bytes;
    // Tests of misbehaving sources: a stream whose Stat reports claimed_size
    // whatever it holds, and whose every Read adds overreport to its count.
    std::optional<std::uint64_t> claimed_size;
    std::uint32_t overreport = 0;
};

}  // namespace vth::drag

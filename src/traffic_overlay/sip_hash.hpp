#pragma once
// SipHash-1-3 with both key words 0: the content hash's function. None of
// the project's libraries offers it, and it is small.
#include <cstdint>
#include <string_view>

namespace vth {

std::uint64_t sip_hash_13(std::string_view bytes);

}  // namespace vth

#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vth {

// Maps a mandatory-label RID to "untrusted", "low", "medium", "high", "system" or "unknown".
std::string_view integrity_name(std::uint32_t rid) noexcept;

// The integrity level of this process's token; "unknown" when it cannot be
// read, and always on platforms without one.
std::string current_integrity_level();

}  // namespace vth

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

// current_integrity_level(), read once for the life of the process.
const std::string& process_integrity_level();

// True for "high" and "system": a process whose writes the user's ordinary
// processes could redirect through links they plant in their own folders.
bool is_elevated(std::string_view integrity_level) noexcept;

}  // namespace vth

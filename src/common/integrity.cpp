#include "common/integrity.hpp"

namespace vth {

std::string_view integrity_name(std::uint32_t rid) noexcept {
    if (rid < 0x1000) return "untrusted";
    if (rid < 0x2000) return "low";
    if (rid < 0x3000) return "medium";
    if (rid < 0x4000) return "high";
    if (rid < 0x5000) return "system";
    return "unknown";
}

const std::string& process_integrity_level() {
    static const std::string level = current_integrity_level();
    return level;
}

bool is_elevated(std::string_view integrity_level) noexcept {
    return integrity_level == "high" || integrity_level == "system";
}

}  // namespace vth

#pragma once
// The helper's version resource, read without running it. Any thread.
#include <cstdint>
#include <string>

#include "common/error.hpp"

namespace vth::client {

struct HelperVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
    std::uint16_t build = 0;
    std::string build_id;
};

// Natively there is no resource: the error has os_code unsupported_code.
inline constexpr long unsupported_code = -1;
Result<HelperVersion> read_helper_version(const std::string& path);

}  // namespace vth::client

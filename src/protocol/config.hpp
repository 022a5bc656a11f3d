#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth {

// The content of traffic-helper.json, written by the GUI.
struct HelperConfig {
    std::string host;
    std::uint16_t port = 0;
    std::string token;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t gui_pid = 0;
};

}  // namespace vth

#pragma once
// The command line of traffic-gui-peer.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth::peer {

struct Options {
    std::optional<std::string> data_dir;  // nothing: LOCALAPPDATA
    std::optional<std::string> helper;    // nothing: --no-start, someone else starts it
    std::optional<std::string> script;    // nothing: commands from standard input
    double traffic_hz = 0.0;              // 0: no traffic stream
    int samples = 60;
    std::int32_t x = 40;
    std::int32_t y = 40;
    std::optional<std::uint32_t> gui_pid;  // nothing: our own process id
    std::chrono::milliseconds linger{0};
};

extern const char* const usage_text;

// The arguments after the program name; the error names the faulty one.
Result<Options> parse_options(std::span<const std::string_view> args);

}  // namespace vth::peer

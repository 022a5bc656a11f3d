#pragma once
// One function per subcommand. Each prints its answers on stdout and returns
// the exit code: 0 when answers were printed, 1 where a subcommand says so,
// 2 on usage or I/O errors.
#include <span>
#include <string_view>
#include "json/config_decode.hpp"

namespace vth::tool {

using Args = std::span<const std::string_view>;  // after the subcommand name

int decode_config(Args args);
int decode_commands(Args args);
int render(Args args);
int clamp(Args args);
int content_hash(Args args);
int url_candidate(Args args);

}  // namespace vth::tool

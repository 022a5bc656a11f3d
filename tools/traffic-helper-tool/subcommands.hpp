#pragma once
// One function per subcommand. Each prints its answers on stdout and returns
// the exit code: 0 when answers were printed, 1 where a subcommand says so,
// 2 on usage or I/O errors.
#include <cstdio>
#include <span>
#include <string_view>
#include "protocol/config_decode.hpp"

namespace vth::tool {

using Args = std::span<const std::string_view>;  // after the subcommand name

int decode_config(Args args);
int decode_commands(Args args);
int render(Args args);
int clamp(Args args);
int content_hash(Args args);
int url_candidate(Args args);
int log_view(Args args);
int batch(Args args);

// The subcommand named by request[0] with the rest as its arguments; the
// usage and 2 for an unknown name.
int run_subcommand(Args request);

// No CRLF translation on Windows; nothing elsewhere.
void binary_mode(std::FILE* file);

// True inside a batch, where stdin holds the requests and so is no
// subcommand's input.
bool stdin_holds_requests();

}  // namespace vth::tool

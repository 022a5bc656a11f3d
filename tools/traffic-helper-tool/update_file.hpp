#pragma once
// Reading an UPDATE file (one updateContent command line as the GUI sends
// it) into the overlay's content, for render and content-hash.
#include <expected>
#include <string_view>

#include "traffic_overlay/overlay_content.hpp"

namespace vth::tool {

// On failure the message is already printed and the value is the exit code:
// 2 when the file cannot be read, 1 (with an "ERR <text>" line on stdout)
// when the line is not a decodable updateContent command.
std::expected<OverlayContent, int> read_update(std::string_view path);

// Writes bytes to a file named by a UTF-8 path; false on any failure.
bool write_file(std::string_view path, std::string_view bytes);

}  // namespace vth::tool

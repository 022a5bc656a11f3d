#pragma once
// What the GUI end writes: commands as lines for the helper, and the
// configuration file. Any thread.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "protocol/config.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

// Compact JSON with keys in the order the guide shows, then "\n". Samples go
// as [t, up, down]; a number that is not finite is sent as 0, which JSON can hold.
std::string encode_command(const OverlayCommand& command);

// The same line as encode_command for content, handed to take in pieces of at
// most samples_per_piece samples each, so a long graph is never held whole
// and the sender can give up between pieces. False when take said stop.
bool encode_content_pieces(const command::UpdateContent& content, std::size_t samples_per_piece,
                           const std::function<bool(std::string_view)>& take);

// traffic-helper.json: the six keys, numbers as JSON integers.
std::string encode_config(const HelperConfig& config);

}  // namespace vth

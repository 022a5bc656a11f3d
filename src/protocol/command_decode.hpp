#pragma once
// Strict decoding of one GUI command line (without its line end).
#include <cstddef>
#include <string_view>

#include "common/error.hpp"
#include "json/input_stream.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

// The error text is what the log shows after "rejected invalid helper command: ".
Result<OverlayCommand> decode_command(std::string_view line);

// The same answer for a line followed in memory by a NUL byte (a std::string,
// a LineReader view), read without a bounds test per byte.
Result<OverlayCommand> decode_command(json::NulTerminated line);

// Room for how many samples the decoder reserves at a line's first sample,
// which took first_bytes with its comma and is followed by left_bytes of the
// line: an estimate from the first sample's size, never more than the rest
// could hold and never more than the cap, so the line bounds the memory.
// More samples than the cap grow the storage by doubling, a few copies of
// what is cheap next to reading the line.
inline constexpr std::size_t sample_reservation_cap = std::size_t{1} << 16;
std::size_t sample_reservation(std::size_t first_bytes, std::size_t left_bytes);

}  // namespace vth

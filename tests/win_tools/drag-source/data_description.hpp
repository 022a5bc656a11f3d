#pragma once
// The data object a drag offers, as described on the command line:
//   FORMAT[@LINDEX]:MEDIUM:ENCODING:DATA
// FORMAT is a clipboard format number or name; MEDIUM is hglobal or stream,
// or a stream that misreports: stream-claiming-N (Stat says N bytes, whatever
// it holds) or stream-overreporting-N (each Read says N bytes more than it
// was asked for). ENCODING is text (UTF-8), utf16 (UTF-16LE), hex, or file
// (DATA is a path whose bytes are offered as they stand, for data too long
// for a command line). text and utf16 take the escapes \n \r \t \0 and \\;
// no terminator is added.
#include <cstdint>
#include <string_view>

#include "common/error.hpp"
#include "offered_format.hpp"

namespace vth::drag {

// format_id maps a name to its clipboard format number.
Result<OfferedFormat> parse_offer(std::string_view description,
                                  std::uint16_t (*format_id)(std::string_view name));

}  // namespace vth::drag

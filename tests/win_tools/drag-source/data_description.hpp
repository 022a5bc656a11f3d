#pragma once
// The data object a drag offers, as described on the command line:
//   FORMAT[@LINDEX]:MEDIUM:ENCODING:DATA
// FORMAT is a clipboard format number or name; MEDIUM is hglobal or stream;
// ENCODING is text (UTF-8), utf16 (UTF-16LE), hex, or file (DATA is a path
// whose bytes are offered as they stand, for data too long for a command
// line). text and utf16 take the escapes \n \r \t \0 and \\; no terminator is
// added.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"

namespace vth::drag {

enum class Medium { hglobal, stream };

struct OfferedFormat {
    std::uint16_t format = 0;
    std::int32_t lindex = -1;
    Medium medium = Medium::hglobal;
    std::string bytes;
};

// format_id maps a name to its clipboard format number.
Result<OfferedFormat> parse_offer(std::string_view description,
                                  std::uint16_t (*format_id)(std::string_view name));

}  // namespace vth::drag

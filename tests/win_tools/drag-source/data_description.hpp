#pragma once
// The data object a drag offers, as described on the command line:
//   FORMAT[@LINDEX]:MEDIUM:ENCODING:DATA
// FORMAT is a clipboard format number or name; MEDIUM is hglobal or stream,
// or a stream that misreports: stream-claiming-N (Stat says N bytes, whatever
// it holds) or stream-overreporting-N (each Read says N bytes more than it
// was asked for). ENCODING is text (UTF-8), utf16 (UTF-16LE) or hex. text and
// utf16 take the escapes \n \r \t \0 and \\; no terminator is added.
#include <cstdint>
#include <optional>
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
    std::optional<std::uint64_t> claimed_size;  // streams: what Stat reports
    std::uint32_t overreport = 0;               // streams: added to each Read's count
};

// format_id maps a name to its clipboard format number.
Result<OfferedFormat> parse_offer(std::string_view description,
                                  std::uint16_t (*format_id)(std::string_view name));

}  // namespace vth::drag

#pragma once
// Turning the JSON reader's syntax faults into the decoders' error texts.
// The reader reports a code and the offset where it stopped; the texts say
// what went wrong and where the decoder stood after the last byte it looked
// at, so the bytes around the offset decide both.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <rapidjson/error/error.h>

namespace vth::json {

// Text with position for a fault of the reader (never kParseErrorTermination).
std::string syntax_error(std::string_view input, rapidjson::ParseErrorCode code,
                         std::size_t offset);

// Text with position for the first fault of the string around input[offset]:
// for faults inside a string, and for strings the reader accepted though an
// escape in them is a lone surrogate.
std::string string_error(std::string_view input, std::size_t offset);

// What follows a sequence whose last wanted element ends at `from`: nothing
// when "]" closes it, else the error text with position.
std::optional<std::string> sequence_end_error(std::string_view input, std::size_t from);

// For a number at `start` that the reader refused as too big but that is
// finite: a float text of the same value and length (padded with blanks).
std::optional<std::string> finite_stand_in(std::string_view input, std::size_t start);

// Offset of the first byte at or after `from` that is not JSON whitespace.
std::size_t skip_whitespace(std::string_view input, std::size_t from);

}  // namespace vth::json

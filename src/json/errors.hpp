#pragma once
// The decoders' error texts, built from fixed pieces. They reach the log
// unchanged, so every wording here is part of the helper's behaviour.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "json/value.hpp"

namespace vth::json {

// Shortest decimal that reads back to the same value, never in exponent
// form, with ".0" when it has no decimal point.
std::string float_text(double value);

// "integer `5`", "floating point `1.5`", "string \"x\"", "sequence", ...
std::string describe(const Value& found);

std::string invalid_type(const Value& found, std::string_view expected);
std::string invalid_value(const Value& found, std::string_view expected);
std::string invalid_length(std::size_t length, std::string_view expected);
std::string missing_field(std::string_view name);
std::string duplicate_field(std::string_view name);
std::string unknown_variant(std::string_view name, std::span<const std::string_view> expected);

// "2 elements in sequence" (what a sequence with too many elements wanted).
std::string elements_in_sequence(std::size_t count);
// "struct Point with 3 elements".
std::string with_elements(std::string_view what, std::size_t count);

// " at line L column C" for the position after input[0, index): C counts the
// bytes of line L up to index.
std::string at_position(std::string_view input, std::size_t index);

}  // namespace vth::json

#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "json/errors.hpp"

namespace vth::json {

// The value of a well-formed JSON number: an unsigned integer when it has no
// fraction or exponent and fits 64 bits, a signed one when it is negative and
// fits, otherwise a float ("-0" is the float -0.0). Nothing when the float
// would be infinite.
std::optional<Value> number_value(std::string_view text);

// Readable bytes a number's text must be followed by for the test below.
inline constexpr std::size_t number_read_ahead = 8;

// Whether the value the reader computed for a number with a fraction or an
// exponent (or too long for 64 bits) is the correctly rounded one: true when
// the text has no exponent and at most 16 digits, the first below 9 when
// there are 16. Its digits are then an integer below 2^53, which the reader
// divides once by an exact power of ten. The text must be followed by
// number_read_ahead readable bytes.
inline bool reader_double_is_exact(std::string_view text) {
    constexpr std::size_t longest = 18;  // a sign, a point and 16 digits
    const std::size_t length = text.size();
    if (length > longest) return false;
    const char* const p = text.data();
    for (std::size_t at = 0; at < length; at += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p + at, sizeof chunk);
        if constexpr (std::endian::native == std::endian::big) chunk = std::byteswap(chunk);
        // Bytes equal to 'e' or 'E' become zero; bit 7 then marks them.
        const std::uint64_t e = (chunk | 0x2020202020202020) ^ 0x6565656565656565;
        std::uint64_t found = (e - 0x0101010101010101) & ~e & 0x8080808080808080;
        if (const std::size_t left = length - at; left < 8)
            found &= (std::uint64_t{1} << (8 * left)) - 1;
        if (found != 0) return false;
    }
    const bool negative = p[0] == '-';
    const std::size_t digits = length - 1 - (negative ? 1 : 0);  // without the point
    return digits < 16 || (digits == 16 && p[negative ? 1 : 0] <= '8');
}

}  // namespace vth::json

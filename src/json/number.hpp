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

// Readable bytes a number's text must be followed by for the variant below.
inline constexpr std::size_t number_read_ahead = 8;

namespace detail {

// The value of eight digits, 0 to 9 per byte, the first in the lowest byte.
inline std::uint64_t eight_digits(std::uint64_t chunk) {
    chunk = chunk * 10 + (chunk >> 8);
    return (((chunk & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
            (((chunk >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
           32;
}

// Appends the digits from p up to the first other byte to `value` and returns
// that byte's address. Reads eight bytes at a time, so that byte must be
// followed by seven readable ones. Past 19 digits the value wraps; callers
// do not use it then.
[[gnu::always_inline]] inline const char* take_digits(const char* p, std::uint64_t& value) {
    static constexpr std::uint64_t scale[] = {1,      10,      100,      1000,     10000,
                                              100000, 1000000, 10000000, 100000000};
    for (;;) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p, sizeof chunk);
        if constexpr (std::endian::native == std::endian::big) chunk = std::byteswap(chunk);
        chunk ^= 0x3030303030303030;  // a digit becomes its value
        // Bit 7 set in each byte that is not a digit: above 9, or high bit set.
        const std::uint64_t others =
            (((chunk & 0x7F7F7F7F7F7F7F7F) + 0x7676767676767676) | chunk) & 0x8080808080808080;
        if (others == 0) {
            value = value * scale[8] + eight_digits(chunk);
            p += 8;
            continue;
        }
        const auto count = static_cast<unsigned>(std::countr_zero(others)) / 8;
        if (count > 0) value = value * scale[count] + eight_digits(chunk << (64 - 8 * count));
        return p + count;
    }
}

// Integers of 20 digits and more, exponents and long fractions.
std::optional<Value> slow_number_value(std::string_view text, bool negative);

}  // namespace detail

// The same for a text followed by at least number_read_ahead readable bytes,
// the first not a digit (a number inside a longer text): its digits are then
// read eight at a time. The value is written to `out` (false when it would be
// infinite), field by field, since copying a whole Value just written costs
// more than the reading. Inline, as it runs for every number of every line.
inline bool number_value_followed(std::string_view text, Value& out) {
    // Up to 19 digits cannot overflow 64 bits, and a decimal fraction whose
    // digits stay below 2^53 is one exact division away.
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    const char* const first = p;
    std::uint64_t digits = 0;
    p = detail::take_digits(p, digits);
    const auto integer_length = p - first;
    if (p == end && integer_length <= 19) {
        if (!negative) {
            out.kind = Kind::unsigned_integer;
            out.unsigned_integer = digits;
            return true;
        }
        constexpr std::uint64_t limit = std::uint64_t{1} << 63;
        if (digits != 0 && digits <= limit) {
            out.kind = Kind::signed_integer;
            out.signed_integer = digits == limit ? INT64_MIN : -static_cast<std::int64_t>(digits);
            return true;
        }
    }
    if (p != end && *p == '.' && integer_length <= 19) {
        const char* const point = ++p;
        p = detail::take_digits(p, digits);
        const auto fraction_length = p - point;
        if (p == end && integer_length + fraction_length <= 19 &&
            digits < (std::uint64_t{1} << 53)) {
            const double magnitude = static_cast<double>(digits) / powers[fraction_length];
            out.kind = Kind::floating;
            out.floating = negative ? -magnitude : magnitude;
            return true;
        }
    }
    auto slow = detail::slow_number_value(text, negative);
    if (!slow) return false;
    out = *slow;
    return true;
}

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

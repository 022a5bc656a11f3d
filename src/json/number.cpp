#include "json/number.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>

namespace vth::json {
namespace {

// Out-of-range results of from_chars are either below the smallest
// subnormal (they read as zero) or above the largest double: the decimal
// exponent of the first significant digit tells which.
bool underflows(std::string_view text) {
    if (text.front() == '-') text.remove_prefix(1);
    const auto e = text.find_first_of("eE");
    const auto mantissa = text.substr(0, e);
    const auto point = mantissa.find('.');
    const auto integer_digits = static_cast<long long>(std::min(point, mantissa.size()));
    long long index = 0;  // among the mantissa's digits
    bool found = false;
    for (char c : mantissa) {
        if (c == '.') continue;
        if (c != '0') {
            found = true;
            break;
        }
        ++index;
    }
    if (!found) return true;
    long long written = 0;
    if (e != std::string_view::npos) {
        std::size_t k = e + 1;
        bool negative = false;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) negative = text[k++] == '-';
        for (; k < text.size(); ++k) {
            if (written < 1'000'000'000) written = written * 10 + (text[k] - '0');
        }
        if (negative) written = -written;
    }
    return integer_digits - 1 - index + written < 0;
}

// Integers of 20 digits and more, exponents and long fractions.
std::optional<Value> slow_number_value(std::string_view text, bool negative) {
    std::size_t digit_count = text.size() - (negative ? 1 : 0);
    if (text.find_first_of(".eE") == std::string_view::npos && digit_count <= 20) {
        std::uint64_t magnitude = 0;
        const auto digits = text.substr(negative ? 1 : 0);
        const auto result =
            std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
        if (result.ec == std::errc()) {
            constexpr std::uint64_t limit = std::uint64_t{1} << 63;
            if (!negative) {
                Value v = make_value(Kind::unsigned_integer);
                v.unsigned_integer = magnitude;
                return v;
            }
            if (magnitude != 0 && magnitude <= limit) {
                Value v = make_value(Kind::signed_integer);
                v.signed_integer =
                    magnitude == limit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
                return v;
            }
        }
    }
    double value = 0.0;
    const auto ec = std::from_chars(text.data(), text.data() + text.size(), value).ec;
    if (ec == std::errc::result_out_of_range) {
        if (!underflows(text)) return std::nullopt;
        value = negative ? -0.0 : 0.0;
    }
    Value v = make_value(Kind::floating);
    v.floating = value;
    return v;
}

}  // namespace

std::optional<Value> number_value(std::string_view text) {
    // One pass for the common forms, since this runs for every number of
    // every line: up to 19 digits cannot overflow 64 bits, and a decimal
    // fraction whose digits stay below 2^53 is one exact division away.
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    const char* const first = p;
    std::uint64_t digits = 0;
    while (p != end && static_cast<unsigned>(*p - '0') <= 9)
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    const auto integer_length = p - first;
    if (p == end && integer_length <= 19) {
        if (!negative) {
            Value v = make_value(Kind::unsigned_integer);
            v.unsigned_integer = digits;
            return v;
        }
        constexpr std::uint64_t limit = std::uint64_t{1} << 63;
        if (digits != 0 && digits <= limit) {
            Value v = make_value(Kind::signed_integer);
            v.signed_integer = digits == limit ? INT64_MIN : -static_cast<std::int64_t>(digits);
            return v;
        }
    }
    if (p != end && *p == '.') {
        const char* const point = ++p;
        while (p != end && static_cast<unsigned>(*p - '0') <= 9)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        const auto fraction_length = p - point;
        if (p == end && integer_length + fraction_length <= 19 &&
            digits < (std::uint64_t{1} << 53)) {
            const double magnitude = static_cast<double>(digits) / powers[fraction_length];
            Value v = make_value(Kind::floating);
            v.floating = negative ? -magnitude : magnitude;
            return v;
        }
    }
    return slow_number_value(text, negative);
}

}  // namespace vth::json

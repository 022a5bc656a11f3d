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

}  // namespace

std::optional<Value> number_value(std::string_view text) {
    const bool negative = text.front() == '-';
    const std::size_t digit_count = text.size() - (negative ? 1 : 0);
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

}  // namespace vth::json

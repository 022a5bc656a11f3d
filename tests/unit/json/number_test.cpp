// Number texts against the standard library's correctly rounded reading:
// every length and every place of the point, both ends of the exact ranges;
// and when the reader's own value of a number may be kept.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json/number.hpp"

namespace vth {
namespace {

using json::Kind;
using json::Value;

// What a number text must read as: an integer when it has no fraction or
// exponent and fits 64 bits (signed when negative, "-0" excepted), else the
// nearest double.
Value expected(const std::string& text) {
    Value v;
    const bool negative = text.front() == '-';
    const bool integer = text.find_first_of(".eE") == std::string::npos;
    std::uint64_t magnitude = 0;
    const char* digits = text.data() + (negative ? 1 : 0);
    const bool fits =
        std::from_chars(digits, text.data() + text.size(), magnitude).ec == std::errc();
    if (integer && fits && !negative) {
        v.kind = Kind::unsigned_integer;
        v.unsigned_integer = magnitude;
        return v;
    }
    std::int64_t value = 0;
    if (integer && negative && magnitude != 0 &&
        std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc()) {
        v.kind = Kind::signed_integer;
        v.signed_integer = value;
        return v;
    }
    v.kind = Kind::floating;
    std::from_chars(text.data(), text.data() + text.size(), v.floating);
    return v;
}

std::string shown(const std::optional<Value>& v) {
    if (!v) return "none";
    switch (v->kind) {
        case Kind::unsigned_integer:
            return "u " + std::to_string(v->unsigned_integer);
        case Kind::signed_integer:
            return "i " + std::to_string(v->signed_integer);
        case Kind::floating: {
            char buffer[64];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, v->floating).ptr;
            return "f " + std::string(buffer, end);
        }
        default:
            return "other";
    }
}

std::vector<std::string> texts() {
    std::vector<std::string> all = {
        "0",
        "-0",
        "0.0",
        "-0.0",
        "7",
        "-7",
        "12345678",
        "123456789",
        "1234567812345678",
        "12345678123456789",
        "9999999999999999999",
        "18446744073709551615",
        "18446744073709551616",
        "99999999999999999999",
        "-9223372036854775808",
        "-9223372036854775809",
        "9007199254740993",
        "900719925474099.1",
        "900719925474099.3",
        "9007199254740992.5",
        "0.1",
        "0.000001",
        "0.0000000000000000001",
        "1733600000.250000",
        "12.375000",
        "-1733600000.250000",
        "1234567.8",
        "12345678.12345678",
        "1.2345678901234567890",
        "1e5",
        "-2.5E-3",
        "1.5e+300",
        "4.9e-324",
    };
    // Every split of up to 20 digits into integer and fraction.
    const std::string digits = "98765432109876543210";
    for (std::size_t length = 1; length <= digits.size(); ++length) {
        const std::string run = digits.substr(digits.size() - length);
        all.push_back(run);
        for (std::size_t point = 1; point < length; ++point) {
            all.push_back(run.substr(0, point) + "." + run.substr(point));
        }
    }
    return all;
}

TEST(NumberText, ReadsLikeTheStandardLibrary) {
    for (const auto& text : texts()) {
        EXPECT_EQ(shown(json::number_value(text)), shown(expected(text))) << text;
    }
}

// Where the reader's own value of a fraction is trusted: no exponent and
// digits below 2^53 for certain. Each row is followed by read-ahead bytes.
TEST(NumberText, ReaderValueTrustedOnlyWhenExact) {
    const struct {
        const char* text;
        bool exact;
    } rows[] = {
        {"0.5", true},
        {"-0.0", true},
        {"1733600000.250000", true},
        {"-1733600000.250000", true},
        {"8999999999999999.5", false},
        {"899999999999999.5", true},
        {"0.000000000000001", true},
        {"9007199254740993.5", false},
        {"-9007199254740993.5", false},
        {"123456789012345.678", false},
        {"0.0000000000000001", false},
        {"1.5e3", false},
        {"1.5E3", false},
        {"15e2", false},
        {"12345678901234567890", false},
    };
    for (const auto& row : rows) {
        const std::string text = row.text;
        std::vector<char> input(text.begin(), text.end());
        input.resize(text.size() + json::number_read_ahead, 'e');
        EXPECT_EQ(json::reader_double_is_exact(std::string_view(input.data(), text.size())),
                  row.exact)
            << text;
    }
}

}  // namespace
}  // namespace vth

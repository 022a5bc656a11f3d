#include "json/errors.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <system_error>

#include "common/control_escape.hpp"

namespace vth::json {
namespace {

// Joins texts by plain appends (GCC 12 warns wrongly about "literal" + string).
template <typename... Parts>
std::string concat(const Parts&... parts) {
    std::string out;
    (out.append(std::string_view(parts)), ...);
    return out;
}

// A code point read from valid UTF-8 at text[i]; advances i.
unsigned next_code_point(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    length = std::min(length, text.size() - i);
    unsigned code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (byte(i + k) & 0x3Fu);
    i += length;
    return code;
}

// The string as a debug-quoted literal: quotes and backslashes escaped, and
// control characters as the log escapes them.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const unsigned code = next_code_point(text, i);
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            append_escaped_char(out, static_cast<char32_t>(code));
        } else {
            out.append(text.substr(start, i - start));
        }
    }
    out += '"';
    return out;
}

}  // namespace

std::string float_text(double value) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer));
    std::string out;
    if (!sci.empty() && sci.front() == '-') {
        out = "-";
        sci.remove_prefix(1);
    }
    const auto e = sci.find('e');
    if (e == std::string_view::npos) return concat(out, sci);  // nan or inf
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(),
                    exponent);
    std::string digits;
    for (char c : sci.substr(0, e)) {
        if (c != '.') digits += c;
    }
    const auto count = static_cast<int>(digits.size());
    if (exponent < 0) {
        out += concat("0.", std::string(static_cast<std::size_t>(-exponent - 1), '0'), digits);
    } else if (exponent + 1 >= count) {
        const int zeros = exponent + 1 - count;
        out += concat(digits, std::string(static_cast<std::size_t>(zeros), '0'), ".0");
    } else {
        const int whole_digits = exponent + 1;
        const auto point = static_cast<std::size_t>(whole_digits);
        out += concat(digits.substr(0, point), ".", digits.substr(point));
    }
    return out;
}

std::string describe(const Value& found) {
    switch (found.kind) {
        case Kind::null:
            return "null";
        case Kind::boolean:
            return found.boolean ? "boolean `true`" : "boolean `false`";
        case Kind::unsigned_integer:
            return concat("integer `", std::to_string(found.unsigned_integer), "`");
        case Kind::signed_integer:
            return concat("integer `", std::to_string(found.signed_integer), "`");
        case Kind::floating:
            return concat("floating point `", float_text(found.floating), "`");
        case Kind::string:
            return concat("string ", quoted(found.text));
        case Kind::sequence:
            return "sequence";
        case Kind::map:
            return "map";
    }
    return "value";
}

std::string invalid_type(const Value& found, std::string_view expected) {
    return concat("invalid type: ", describe(found), ", expected ", expected);
}

std::string invalid_value(const Value& found, std::string_view expected) {
    return concat("invalid value: ", describe(found), ", expected ", expected);
}

std::string invalid_length(std::size_t length, std::string_view expected) {
    return concat("invalid length ", std::to_string(length), ", expected ", expected);
}

std::string missing_field(std::string_view name) {
    return concat("missing field `", escape_controls(name), "`");
}

std::string duplicate_field(std::string_view name) {
    return concat("duplicate field `", escape_controls(name), "`");
}

std::string unknown_variant(std::string_view name, std::span<const std::string_view> expected) {
    std::string text = concat("unknown variant `", escape_controls(name), "`, expected one of ");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        text += concat(i > 0 ? ", `" : "`", expected[i], "`");
    }
    return text;
}

std::string elements_in_sequence(std::size_t count) {
    if (count == 1) return "1 element in sequence";
    return concat(std::to_string(count), " elements in sequence");
}

std::string with_elements(std::string_view what, std::size_t count) {
    if (count == 1) return concat(what, " with 1 element");
    return concat(what, " with ", std::to_string(count), " elements");
}

std::string at_position(std::string_view input, std::size_t index) {
    index = std::min(index, input.size());
    const auto before = input.substr(0, index);
    const auto last_newline = before.rfind('\n');
    const std::size_t line_start = last_newline == std::string_view::npos ? 0 : last_newline + 1;
    const auto line =
        1 +
        std::count(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(line_start), '\n');
    return concat(" at line ", std::to_string(line), " column ",
                  std::to_string(index - line_start));
}

}  // namespace vth::json

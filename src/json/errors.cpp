#include "json/errors.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

#include "common/received_text.hpp"

namespace vth::json {
namespace {

// Joins texts by plain appends (GCC 12 warns wrongly about "literal" + string).
template <typename... Parts>
std::string concat(const Parts&... parts) {
    std::string out;
    (out.append(std::string_view(parts)), ...);
    return out;
}

constexpr std::string_view cut_mark = "\u2026";  // …

// A received text between two marks: its start within quote_limit written
// characters, escaped as the log escapes received texts, then "…" and the
// full length in bytes when it was cut.
void append_quotation(std::string& out, const QuotedStart& text, Quotes quotes, char mark) {
    out += mark;
    const std::size_t taken = append_received(out, text.held(), quotes, {.written = quote_limit});
    out += mark;
    if (taken < text.full_size) {
        out += concat(cut_mark, " (", std::to_string(text.full_size), " bytes)");
    }
}

std::string wanted_text(const Wanted& wanted) {
    switch (wanted.shape) {
        case Wanted::Shape::plain:
            break;
        case Wanted::Shape::elements_in_sequence:
            if (wanted.count == 1) return "1 element in sequence";
            return concat(std::to_string(wanted.count), " elements in sequence");
        case Wanted::Shape::with_elements:
            if (wanted.count == 1) return concat(wanted.what, " with 1 element");
            return concat(wanted.what, " with ", std::to_string(wanted.count), " elements");
    }
    return std::string(wanted.what);
}

ErrorParts value_error(ErrorParts::Form form, const Value& found, Wanted expected) noexcept {
    ErrorParts error;
    error.form = form;
    error.found = Found(found);
    error.wanted = expected;
    return error;
}

ErrorParts name_error(ErrorParts::Form form, std::string_view name) noexcept {
    ErrorParts error;
    error.form = form;
    error.name = name;
    return error;
}

}  // namespace

QuotedStart::QuotedStart(std::string_view text) noexcept : full_size(text.size()) {
    std::size_t n = std::min(text.size(), bytes.size());
    // Whole characters only: back off a cut one's continuation bytes.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(bytes.data(), text.data(), n);
    size = n;
}

Found::Found(const Value& value) noexcept
    : kind(value.kind),
      boolean(value.boolean),
      unsigned_integer(value.unsigned_integer),
      signed_integer(value.signed_integer),
      floating(value.floating) {
    if (kind == Kind::string) text = QuotedStart(value.text);
}

ErrorParts invalid_type(const Value& found, Wanted expected) noexcept {
    return value_error(ErrorParts::Form::invalid_type, found, expected);
}

ErrorParts invalid_value(const Value& found, Wanted expected) noexcept {
    return value_error(ErrorParts::Form::invalid_value, found, expected);
}

ErrorParts invalid_length(std::size_t length, Wanted expected) noexcept {
    ErrorParts error;
    error.form = ErrorParts::Form::invalid_length;
    error.length = length;
    error.wanted = expected;
    return error;
}

ErrorParts missing_field(std::string_view name) noexcept {
    return name_error(ErrorParts::Form::missing_field, name);
}

ErrorParts duplicate_field(std::string_view name) noexcept {
    return name_error(ErrorParts::Form::duplicate_field, name);
}

std::string text(const ErrorParts& error) {
    switch (error.form) {
        case ErrorParts::Form::invalid_type:
            return concat("invalid type: ", describe(error.found), ", expected ",
                          wanted_text(error.wanted));
        case ErrorParts::Form::invalid_value:
            return concat("invalid value: ", describe(error.found), ", expected ",
                          wanted_text(error.wanted));
        case ErrorParts::Form::invalid_length:
            return concat("invalid length ", std::to_string(error.length), ", expected ",
                          wanted_text(error.wanted));
        case ErrorParts::Form::missing_field:
            return concat("missing field `", error.name, "`");
        case ErrorParts::Form::duplicate_field:
            return concat("duplicate field `", error.name, "`");
    }
    return "invalid value";
}

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

std::string describe(const Found& found) {
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
        case Kind::string: {
            std::string out = "string ";
            append_quotation(out, found.text, Quotes::escaped, '"');
            return out;
        }
        case Kind::sequence:
            return "sequence";
        case Kind::map:
            return "map";
    }
    return "value";
}

std::string unknown_variant(std::string_view name, std::span<const std::string_view> expected) {
    std::string text = "unknown variant ";
    append_quotation(text, QuotedStart(name), Quotes::kept, '`');
    text += ", expected one of ";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        text += concat(i > 0 ? ", `" : "`", expected[i], "`");
    }
    return text;
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

#pragma once
// The decoders' error texts, built from fixed pieces. They reach the log
// unchanged, so every wording here is part of the helper's behaviour.
//
// A decoder may meet many faults but reports one, so an error is kept as its
// parts (ErrorParts) and its text built only when it is shown. A received
// string is quoted by its start only, so neither the parts nor the text grow
// with the input.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "json/value.hpp"

namespace vth::json {

// The most characters a quotation of a received string writes, an escape
// counting all of its own; a longer string is cut there and followed by "…"
// and its full length in bytes.
inline constexpr std::size_t quote_limit = 160;
// Input bytes that always hold what such a quotation can show.
inline constexpr std::size_t quote_bytes = 4 * quote_limit;

// The start of a received string, as much as a quotation can show, and its
// full length. Holds no reference to the input.
struct QuotedStart {
    std::array<char, quote_bytes> bytes{};
    std::size_t size = 0;  // bytes held, whole characters only
    std::size_t full_size = 0;

    QuotedStart() = default;
    explicit QuotedStart(std::string_view text) noexcept;
    std::string_view held() const noexcept { return {bytes.data(), size}; }
};

// A value as an error text describes it.
struct Found {
    Kind kind = Kind::null;
    bool boolean = false;
    std::uint64_t unsigned_integer = 0;
    std::int64_t signed_integer = 0;
    double floating = 0.0;
    QuotedStart text;  // strings only

    Found() = default;
    explicit Found(const Value& value) noexcept;
};

// What a decoder wanted: a fixed text, or a count of elements.
struct Wanted {
    enum class Shape : std::uint8_t {
        plain,                 // what
        elements_in_sequence,  // "2 elements in sequence"
        with_elements,         // "<what> with 3 elements"
    };
    std::string_view what;  // a text of the decoder's own, never received
    Shape shape = Shape::plain;
    std::size_t count = 0;

    Wanted() = default;
    // Most wants are a plain text: taken as one where a Wanted is asked for.
    // NOLINTNEXTLINE(google-explicit-constructor)
    constexpr Wanted(std::string_view text) noexcept : what(text) {}
    // NOLINTNEXTLINE(google-explicit-constructor)
    constexpr Wanted(const char* text) noexcept : what(text) {}
    constexpr Wanted(std::string_view text, Shape s, std::size_t n) noexcept
        : what(text), shape(s), count(n) {}
};

// "2 elements in sequence" (what a sequence with too many elements wanted).
constexpr Wanted elements_in_sequence(std::size_t count) {
    return Wanted({}, Wanted::Shape::elements_in_sequence, count);
}
// "struct Point with 3 elements".
constexpr Wanted with_elements(std::string_view what, std::size_t count) {
    return Wanted(what, Wanted::Shape::with_elements, count);
}

// One error of a decoder, kept as its parts; text() builds what is shown.
struct ErrorParts {
    enum class Form : std::uint8_t {
        invalid_type,
        invalid_value,
        invalid_length,
        missing_field,
        duplicate_field
    };
    Form form = Form::invalid_type;
    Found found;             // invalid_type, invalid_value
    std::size_t length = 0;  // invalid_length
    Wanted wanted;           // invalid_type, invalid_value, invalid_length
    std::string_view name;   // missing_field, duplicate_field: a name of the decoder's own
};

ErrorParts invalid_type(const Value& found, Wanted expected) noexcept;
ErrorParts invalid_value(const Value& found, Wanted expected) noexcept;
ErrorParts invalid_length(std::size_t length, Wanted expected) noexcept;
ErrorParts missing_field(std::string_view name) noexcept;
ErrorParts duplicate_field(std::string_view name) noexcept;

std::string text(const ErrorParts& error);

// Shortest decimal that reads back to the same value, never in exponent
// form, with ".0" when it has no decimal point.
std::string float_text(double value);

// "integer `5`", "floating point `1.5`", "string \"x\"", "sequence", ...
std::string describe(const Found& found);

// The received name between backquotes, cut as a quotation is.
std::string unknown_variant(std::string_view name, std::span<const std::string_view> expected);

// " at line L column C" for the position after input[0, index): C counts the
// bytes of line L up to index.
std::string at_position(std::string_view input, std::size_t index);

}  // namespace vth::json

#pragma once
// Strict conversions of one JSON value to the field types the decoders hold.
// Errors are kept as their parts, without position: the caller decides
// whether one applies, and builds its text only then.
#include <cstdint>
#include <expected>
#include <limits>
#include <string_view>
#include <utility>

#include "json/errors.hpp"

namespace vth::json {

template <typename T>
using Converted = std::expected<T, ErrorParts>;

inline Converted<bool> to_bool(const Value& v) noexcept {
    if (v.kind == Kind::boolean) return v.boolean;
    return std::unexpected(invalid_type(v, "a boolean"));
}

inline Converted<std::string_view> to_text(const Value& v) noexcept {
    if (v.kind == Kind::string) return v.text;
    return std::unexpected(invalid_type(v, "a string"));
}

// Integers only from JSON integers, within the range of Int.
template <typename Int>
Converted<Int> to_integer(const Value& v, std::string_view name) noexcept {
    using limits = std::numeric_limits<Int>;
    if (v.kind == Kind::unsigned_integer) {
        if (v.unsigned_integer <= static_cast<std::uint64_t>(limits::max())) {
            return static_cast<Int>(v.unsigned_integer);
        }
        return std::unexpected(invalid_value(v, name));
    }
    if (v.kind == Kind::signed_integer) {
        if (std::cmp_greater_equal(v.signed_integer, limits::min()) &&
            std::cmp_less_equal(v.signed_integer, limits::max())) {
            return static_cast<Int>(v.signed_integer);
        }
        return std::unexpected(invalid_value(v, name));
    }
    return std::unexpected(invalid_type(v, name));
}

// Any JSON number.
inline Converted<double> to_f64(const Value& v) noexcept {
    switch (v.kind) {
        case Kind::unsigned_integer:
            return static_cast<double>(v.unsigned_integer);
        case Kind::signed_integer:
            return static_cast<double>(v.signed_integer);
        case Kind::floating:
            return v.floating;
        default:
            return std::unexpected(invalid_type(v, "f64"));
    }
}

inline Value container(Kind kind) {
    return make_value(kind);
}

}  // namespace vth::json

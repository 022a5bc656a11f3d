#pragma once
// The value model shared by the reader and the decoders: one JSON value as
// the reader meets it.
#include <cstdint>
#include <string_view>

namespace vth::json {

enum class Kind {
    null,
    boolean,
    unsigned_integer,
    signed_integer,
    floating,
    string,
    sequence,
    map
};

// One value as the reader met it: a scalar, or the opening of a container.
// `text` points into the reader's buffer and lives only during the event.
struct Value {
    Kind kind = Kind::null;
    bool boolean = false;
    std::uint64_t unsigned_integer = 0;
    std::int64_t signed_integer = 0;
    double floating = 0.0;
    std::string_view text;
};

inline Value make_value(Kind kind) {
    Value v;
    v.kind = kind;
    return v;
}
inline Value boolean_value(bool b) {
    Value v = make_value(Kind::boolean);
    v.boolean = b;
    return v;
}
inline Value string_value(std::string_view text) {
    Value v = make_value(Kind::string);
    v.text = text;
    return v;
}

}  // namespace vth::json

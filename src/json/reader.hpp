#pragma once
// Strict typed decoding on top of the RapidJSON SAX reader, without a
// document tree. The reader runs iteratively (no input can exhaust the call
// stack) and validates UTF-8; a decoder receives the values as events and
// stops the reader at its first error. Integers come exact from the reader;
// a number with a fraction or exponent is read again from its text unless
// the reader's own value is known to be the correctly rounded one.
//
// A decoder provides:
//   bool value(const json::Value&);       // a scalar
//   bool start(json::Kind);               // sequence or map opened
//   bool end(json::Kind, std::size_t);    // closed, with its element count
//   bool key(std::string_view);
// Each returns false after setting the cursor's error. Everything here lives
// for one decoding call on one thread.
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <rapidjson/reader.h>

#include "common/error.hpp"
#include "json/errors.hpp"
#include "json/input_stream.hpp"
#include "json/number.hpp"
#include "json/syntax.hpp"

namespace vth::json {

// In-place mode only for how strings are handed over (see input_stream.hpp).
inline constexpr unsigned read_flags = rapidjson::kParseIterativeFlag |
                                       rapidjson::kParseValidateEncodingFlag |
                                       rapidjson::kParseInsituFlag;

// The input, the reader's position in it and the error a decoder stopped at.
class Cursor {
  public:
    Cursor(std::string_view input, const StreamBase& stream) : input_(input), stream_(stream) {}

    std::string_view input() const { return input_; }
    // Bytes the reader has taken so far, counting the bracket of a container
    // event (the reader announces it before taking the bracket).
    std::size_t offset() const { return stream_.Tell() + bracket_; }
    // The string the reader just decoded.
    std::string_view decoded(std::size_t length) const { return stream_.decoded(length); }
    void set_bracket(bool pending) { bracket_ = pending ? 1 : 0; }

    bool fail(std::string text) {
        error_ = std::move(text);
        return false;
    }
    bool fail(const ErrorParts& error) { return fail(text(error)); }
    // The error followed by the position after input[0, index).
    bool fail_at(std::string text, std::size_t index) {
        return fail(std::move(text) + at_position(input_, index));
    }
    bool fail_at(const ErrorParts& error, std::size_t index) { return fail_at(text(error), index); }
    const std::optional<std::string>& error() const { return error_; }

  private:
    std::string_view input_;
    const StreamBase& stream_;
    std::optional<std::string> error_;
    std::size_t bracket_ = 0;
};

// A decoded string may hold a surrogate only through an escape of a lone
// low surrogate (raw input is validated): its UTF-8 form starts ED A0..BF.
// Most strings are keys of a few bytes, looked at directly; longer ones are
// searched in bulk.
inline bool holds_surrogate(std::string_view text) {
    constexpr std::size_t short_text = 16;
    if (text.size() < 3) return false;  // too short for the three bytes of one
    if (text.size() < short_text) {
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '\xED' && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return true;
        }
        return false;
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    while ((p = static_cast<const char*>(
                std::memchr(p, '\xED', static_cast<std::size_t>(end - p)))) != nullptr) {
        if (end - p > 1 && static_cast<unsigned char>(p[1]) >= 0xA0) return true;
        ++p;
    }
    return false;
}

template <class Decoder>
class SaxAdapter : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, SaxAdapter<Decoder>> {
  public:
    SaxAdapter(Cursor& cursor, Decoder& decoder) : cursor_(cursor), decoder_(decoder) {}

    bool Null() {
        mark();
        return decoder_.value(make_value(Kind::null));
    }
    bool Bool(bool b) {
        mark();
        return decoder_.value(boolean_value(b));
    }
    // "0" and "-0" (a float) are the zeros; the rest arrive as they are.
    bool Uint(unsigned u) { return u == 0 ? zero(false) : unsigned_number(u); }
    bool Uint64(std::uint64_t u) { return unsigned_number(u); }
    bool Int(int i) { return i == 0 ? zero(true) : signed_number(i); }
    bool Int64(std::int64_t i) { return signed_number(i); }
    bool Double(double d) {
        const auto next = cursor_.offset();
        const auto text = number_text(next);
        if (next + number_read_ahead <= cursor_.input().size() && reader_double_is_exact(text)) {
            Value number = make_value(Kind::floating);
            number.floating = d;
            return decoder_.value(number);
        }
        return number_from_text(next, text);
    }
    bool String(const char*, rapidjson::SizeType length, bool) {
        mark();
        const auto view = cursor_.decoded(length);
        if (holds_surrogate(view)) return surrogate_error();
        return decoder_.value(string_value(view));
    }
    bool Key(const char*, rapidjson::SizeType length, bool) {
        mark();
        const auto view = cursor_.decoded(length);
        if (holds_surrogate(view)) return surrogate_error();
        return decoder_.key(view);
    }
    bool StartObject() { return opened(Kind::map); }
    [[gnu::always_inline]] bool EndObject(rapidjson::SizeType n) { return closed(Kind::map, n); }
    bool StartArray() { return opened(Kind::sequence); }
    [[gnu::always_inline]] bool EndArray(rapidjson::SizeType n) {
        return closed(Kind::sequence, n);
    }

  private:
    // Container events come before the reader takes the bracket. Plain
    // functions, not one taking a lambda, which GCC leaves out of line.
    [[gnu::always_inline]] bool opened(Kind kind) {
        mark();
        cursor_.set_bracket(true);
        const bool go_on = decoder_.start(kind);
        cursor_.set_bracket(false);
        return go_on;
    }
    [[gnu::always_inline]] bool closed(Kind kind, std::size_t count) {
        mark();
        cursor_.set_bracket(true);
        const bool go_on = decoder_.end(kind, count);
        cursor_.set_bracket(false);
        return go_on;
    }

    // Where the last event's token ended (or its bracket stands): a number
    // starts at the first sign or digit from there on, as only blanks and a
    // comma, colon or bracket lie between.
    void mark() { mark_ = cursor_.offset(); }
    std::string_view number_text(std::size_t next) {
        const auto input = cursor_.input();
        std::size_t start = mark_;
        while (input[start] != '-' && (input[start] < '0' || input[start] > '9')) ++start;
        mark_ = next;
        return input.substr(start, next - start);
    }

    [[gnu::always_inline]] bool unsigned_number(std::uint64_t u) {
        mark();
        Value number = make_value(Kind::unsigned_integer);
        number.unsigned_integer = u;
        return decoder_.value(number);
    }
    bool signed_number(std::int64_t i) {
        mark();
        Value number = make_value(Kind::signed_integer);
        number.signed_integer = i;
        return decoder_.value(number);
    }
    [[gnu::noinline]] bool zero(bool negative) {
        const auto next = cursor_.offset();
        const auto input = cursor_.input();
        mark_ = next;
        // The reader ends a number at a second leading zero digit; the
        // strict reading refuses the number there.
        if (next < input.size() && input[next] >= '0' && input[next] <= '9')
            return cursor_.fail_at("invalid number", next + 1);
        Value number;
        if (negative) {
            number = make_value(Kind::floating);
            number.floating = -0.0;
        } else {
            number = make_value(Kind::unsigned_integer);
        }
        return decoder_.value(number);
    }
    [[gnu::noinline]] bool number_from_text(std::size_t next, std::string_view text) {
        const auto number = number_value(text);
        if (!number) return cursor_.fail_at("number out of range", next);
        return decoder_.value(*number);
    }

    bool surrogate_error() {
        return cursor_.fail(string_error(cursor_.input(), cursor_.offset() - 1));
    }

    Cursor& cursor_;
    Decoder& decoder_;
    std::size_t mark_ = 0;
};

template <class Decoder>
using Decoded = Result<decltype(std::declval<Decoder&>().take())>;

// One reading of `text` through `stream` with a fresh Decoder (constructed
// from the cursor): what its take() yields, or the decoder's error; nothing
// when the reader itself stopped at a fault, left in `result`.
template <class Decoder, class Stream>
std::optional<Decoded<Decoder>> read_once(Stream& stream, std::string_view text,
                                          rapidjson::ParseResult& result) {
    Cursor cursor(text, stream);
    Decoder decoder(cursor);
    SaxAdapter<Decoder> adapter(cursor, decoder);
    rapidjson::Reader reader;
    result = reader.Parse<read_flags>(stream, adapter);
    if (!result.IsError()) return decoder.take();
    if (result.Code() == rapidjson::kParseErrorTermination && cursor.error())
        return fail(*cursor.error());
    return std::nullopt;
}

// After the reader stopped at a fault of `input`: the answer. The reader
// refuses some finite numbers as too big (a zero with a huge exponent,
// hundreds of integer digits before a negative exponent); such a number is
// replaced by a stand-in of the same length and the text read again, so
// positions stay those of the original.
template <class Decoder>
Decoded<Decoder> after_fault(std::string_view input, rapidjson::ParseResult result) {
    constexpr int stand_in_limit = 16;
    std::string patched;
    for (int attempt = 0;; ++attempt) {
        const std::string_view text = patched.empty() ? input : std::string_view(patched);
        const auto code = result.Code();
        if (code == rapidjson::kParseErrorNumberTooBig && attempt < stand_in_limit) {
            if (auto stand_in = finite_stand_in(text, result.Offset())) {
                if (patched.empty()) patched = std::string(input);
                patched.replace(result.Offset(), stand_in->size(), *stand_in);
                InputStream stream(patched);
                if (auto done = read_once<Decoder>(stream, patched, result))
                    return std::move(*done);
                continue;
            }
        }
        return fail(syntax_error(text, code, result.Offset()));
    }
}

// Runs the reader over the whole input with a fresh Decoder and returns what
// its take() yields; the first error ends it.
template <class Decoder>
Decoded<Decoder> decode(std::string_view input) {
    InputStream stream(input);
    rapidjson::ParseResult result;
    if (auto done = read_once<Decoder>(stream, input, result)) return std::move(*done);
    return after_fault<Decoder>(input, result);
}

// The same for a text followed by a NUL byte, read as if that were its only
// NUL: no test per byte and no pass of its own. Events before a NUL inside
// are the same either way, so only a reading that ended early at one (a text
// that never decodes) is done again the general way, for its error.
template <class Decoder>
Decoded<Decoder> decode(NulTerminated input) {
    const std::string_view text = input.text;
    NulFreeInputStream stream(input);
    rapidjson::ParseResult result;
    if (auto done = read_once<Decoder>(stream, text, result)) {
        if (!done->has_value() || stream.Tell() == text.size()) return std::move(*done);
        return decode<Decoder>(text);
    }
    // The NUL after the text is promised by NulTerminated.
    // NOLINTNEXTLINE(bugprone-suspicious-stringview-data-usage)
    if (std::strlen(text.data()) == text.size()) return after_fault<Decoder>(text, result);
    return decode<Decoder>(text);
}

}  // namespace vth::json

#include "json/syntax.hpp"

#include "common/utf8.hpp"
#include "json/errors.hpp"
#include "json/number.hpp"

#include <charconv>
#include <variant>

namespace vth::json {
namespace {

struct Fault {
    std::string text;
    std::size_t index;  // bytes looked at
};

bool is_whitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_hex(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
unsigned hex_value(char c) {
    if (is_digit(c)) return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

constexpr const char* eof_value = "EOF while parsing a value";
constexpr const char* eof_string = "EOF while parsing a string";

// Offset of the last non-whitespace byte before `offset`, if any.
std::optional<char> previous_token(std::string_view input, std::size_t offset) {
    while (offset > 0) {
        --offset;
        if (!is_whitespace(input[offset])) return input[offset];
    }
    return std::nullopt;
}

// Offset of the opening quote of the string that input[offset] lies in.
std::size_t string_start(std::string_view input, std::size_t offset) {
    std::size_t start = 0;
    bool inside = false;
    for (std::size_t i = 0; i < offset && i < input.size(); ++i) {
        if (!inside) {
            if (input[i] == '"') {
                inside = true;
                start = i;
            }
        } else if (input[i] == '\\') {
            ++i;
        } else if (input[i] == '"') {
            inside = false;
        }
    }
    return start;
}

// Four hex digits at i; on success i is past them.
std::optional<Fault> hex_escape(std::string_view input, std::size_t& i, unsigned& value) {
    if (input.size() - i < 4) return Fault{eof_string, input.size()};
    value = 0;
    for (int k = 0; k < 4; ++k) {
        const char c = input[i++];
        if (!is_hex(c)) return Fault{"invalid escape", i};
        value = value * 16 + hex_value(c);
    }
    return std::nullopt;
}

// One escape after its backslash at i - 1.
std::optional<Fault> escape(std::string_view input, std::size_t& i, std::string& decoded) {
    if (i == input.size()) return Fault{eof_string, i};
    const char c = input[i++];
    switch (c) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            decoded += 'a';
            return std::nullopt;
        case 'u':
            break;
        default:
            return Fault{"invalid escape", i};
    }
    unsigned first = 0;
    if (auto fault = hex_escape(input, i, first)) return fault;
    if (first >= 0xDC00 && first <= 0xDFFF) return Fault{"lone leading surrogate in hex escape", i};
    if (first >= 0xD800 && first <= 0xDBFF) {
        for (char wanted : {'\\', 'u'}) {
            if (i == input.size()) return Fault{eof_string, i};
            if (input[i++] != wanted) return Fault{"unexpected end of hex escape", i};
        }
        unsigned second = 0;
        if (auto fault = hex_escape(input, i, second)) return fault;
        if (second < 0xDC00 || second > 0xDFFF) {
            return Fault{"lone leading surrogate in hex escape", i};
        }
    }
    decoded += 'a';
    return std::nullopt;
}

// The first fault of the string opening at `start`, read the strict way:
// escapes and control characters in order, UTF-8 once the string is closed.
Fault scan_string(std::string_view input, std::size_t start) {
    std::string raw;  // unescaped bytes; escapes stand in as ASCII
    std::size_t i = start + 1;
    for (;;) {
        if (i == input.size()) return {eof_string, i};
        const char c = input[i];
        if (c == '"') {
            ++i;
            if (!is_valid_utf8(raw)) return {"invalid unicode code point", i};
            return {"expected value", i};  // not reached for a string the reader refused
        }
        ++i;
        if (c == '\\') {
            if (auto fault = escape(input, i, raw)) return *fault;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            return {"control character (\\u0000-\\u001F) found while parsing a string", i};
        } else {
            raw += c;
        }
    }
}

// Reads the number at `start` the strict way; a fault, or the offset after it.
std::variant<Fault, std::size_t> scan_number(std::string_view input, std::size_t start) {
    const std::size_t n = input.size();
    std::size_t i = start;
    if (i < n && input[i] == '-') ++i;
    if (i == n) return Fault{eof_value, n};
    const char first = input[i++];
    if (first == '0') {
        if (i < n && is_digit(input[i])) return Fault{"invalid number", i + 1};
    } else if (is_digit(first)) {
        while (i < n && is_digit(input[i])) ++i;
    } else {
        return Fault{"invalid number", i};
    }
    if (i < n && input[i] == '.') {
        ++i;
        if (i == n) return Fault{eof_value, n};
        if (!is_digit(input[i])) return Fault{"invalid number", i + 1};
        while (i < n && is_digit(input[i])) ++i;
    }
    if (i < n && (input[i] == 'e' || input[i] == 'E')) {
        ++i;
        if (i < n && (input[i] == '+' || input[i] == '-')) ++i;
        if (i == n) return Fault{eof_value, n};
        if (!is_digit(input[i++])) return Fault{"invalid number", i};
        while (i < n && is_digit(input[i])) ++i;
    }
    return i;
}

Fault number_fault(std::string_view input, std::size_t start) {
    auto scanned = scan_number(input, start);
    if (auto* fault = std::get_if<Fault>(&scanned)) return *fault;
    // Too big for the reader: out of range, or a finite number whose
    // digits or exponent the reader will not take (reported alike).
    return {"number out of range", std::get<std::size_t>(scanned)};
}

Fault classify(std::string_view input, rapidjson::ParseErrorCode code, std::size_t p) {
    using namespace rapidjson;
    const std::size_t n = input.size();
    const bool at_end = p >= n;
    const auto previous = previous_token(input, p);
    switch (code) {
        case kParseErrorDocumentEmpty:
            return at_end ? Fault{eof_value, n} : Fault{"expected value", p + 1};
        case kParseErrorDocumentRootNotSingular:
            return {"trailing characters", p + 1};
        case kParseErrorValueInvalid: {
            const char before = p > 0 ? input[p - 1] : ' ';
            if (before >= 'a' && before <= 'z') {
                return at_end ? Fault{eof_value, n} : Fault{"expected ident", p + 1};
            }
            if (before == '-') return at_end ? Fault{eof_value, n} : Fault{"invalid number", p + 1};
            if (at_end) return {previous == '[' ? "EOF while parsing a list" : eof_value, n};
            if (input[p] == ']' && previous == ',') return {"trailing comma", p + 1};
            return {"expected value", p + 1};
        }
        case kParseErrorObjectMissName:
            if (previous == ',') {
                if (at_end) return {eof_value, n};
                if (input[p] == '}') return {"trailing comma", p + 1};
            } else if (at_end) {
                return {"EOF while parsing an object", n};
            }
            return {"key must be a string", p + 1};
        case kParseErrorObjectMissColon:
            return at_end ? Fault{"EOF while parsing an object", n} : Fault{"expected `:`", p + 1};
        case kParseErrorObjectMissCommaOrCurlyBracket:
            return at_end ? Fault{"EOF while parsing an object", n}
                          : Fault{"expected `,` or `}`", p + 1};
        case kParseErrorArrayMissCommaOrSquareBracket:
            return at_end ? Fault{"EOF while parsing a list", n}
                          : Fault{"expected `,` or `]`", p + 1};
        case kParseErrorStringUnicodeEscapeInvalidHex:
        case kParseErrorStringUnicodeSurrogateInvalid:
        case kParseErrorStringEscapeInvalid:
        case kParseErrorStringMissQuotationMark:
        case kParseErrorStringInvalidEncoding:
            return scan_string(input, string_start(input, p));
        case kParseErrorNumberMissFraction:
        case kParseErrorNumberMissExponent:
            return at_end ? Fault{eof_value, n} : Fault{"invalid number", p + 1};
        case kParseErrorNumberTooBig:
            return number_fault(input, p);
        default:
            return at_end ? Fault{eof_value, n} : Fault{"expected value", p + 1};
    }
}

}  // namespace

std::size_t skip_whitespace(std::string_view input, std::size_t from) {
    while (from < input.size() && is_whitespace(input[from])) ++from;
    return from;
}

std::optional<std::string> finite_stand_in(std::string_view input, std::size_t start) {
    auto scanned = scan_number(input, start);
    const auto* end = std::get_if<std::size_t>(&scanned);
    if (!end) return std::nullopt;
    const auto length = *end - start;
    auto number = number_value(input.substr(start, length));
    if (!number) return std::nullopt;
    if (number->kind != Kind::floating) return std::nullopt;
    // Mantissa, then an exponent whose leading zeros fill the length.
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, number->floating,
                                       std::chars_format::scientific)
                             .ptr;
    const std::string_view sci(buffer, static_cast<std::size_t>(written - buffer));
    const auto e = sci.find('e');
    std::string mantissa(sci.substr(0, e));
    const bool negative_exponent = sci[e + 1] == '-';
    std::string exponent(sci.substr(e + 2));
    while (exponent.size() > 1 && exponent.front() == '0') exponent.erase(0, 1);
    const std::size_t fixed = mantissa.size() + 1 + (negative_exponent ? 1 : 0);
    if (fixed + exponent.size() > length) return std::nullopt;
    exponent.insert(0, length - fixed - exponent.size(), '0');
    mantissa.append(negative_exponent ? "e-" : "e").append(exponent);
    return mantissa;
}

std::string syntax_error(std::string_view input, rapidjson::ParseErrorCode code,
                         std::size_t offset) {
    auto fault = classify(input, code, offset);
    return fault.text + at_position(input, fault.index);
}

std::string string_error(std::string_view input, std::size_t offset) {
    auto fault = scan_string(input, string_start(input, offset));
    return fault.text + at_position(input, fault.index);
}

std::optional<std::string> sequence_end_error(std::string_view input, std::size_t from) {
    const std::size_t n = input.size();
    std::size_t i = skip_whitespace(input, from);
    if (i == n) return "EOF while parsing a list" + at_position(input, n);
    if (input[i] == ']') return std::nullopt;
    if (input[i] == ',') {
        i = skip_whitespace(input, i + 1);
        if (i < n && input[i] == ']') return "trailing comma" + at_position(input, i + 1);
    }
    return "trailing characters" + at_position(input, i + 1);
}

}  // namespace vth::json

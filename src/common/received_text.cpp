#include "common/received_text.hpp"

#include <cstdint>

#include "common/control_escape.hpp"
#include "common/printable.hpp"

namespace vth {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

struct Scalar {
    char32_t value;
    std::size_t size;  // bytes taken from the text; 0 when malformed
};

// Decodes the scalar at the start of text, checking every byte so a truncated
// or overlong sequence cannot take us past the end.
Scalar decode(std::string_view text) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t size = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80;   // bounds of the second byte, which rule out
    std::uint8_t high = 0xBF;  // overlong forms, surrogates and values past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {0, 0};
    }
    if (text.size() < size) return {0, 0};
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t b = byte(i);
        if (i == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) return {0, 0};
        value = (value << 6) | (b & 0x3F);
    }
    return {value, size};
}

// The escape written for c; empty when c is copied as it is.
std::string escape_of(char32_t c, Quotes quotes) {
    std::string escape;
    if (quotes == Quotes::escaped && (c == U'"' || c == U'\\')) {
        escape += '\\';
        escape += static_cast<char>(c);
    } else if (!is_printable(c)) {
        append_escaped_char(escape, c);
    }
    return escape;
}

}  // namespace

std::size_t append_received(std::string& out, std::string_view utf8_text, Quotes quotes,
                            ReceivedLimit limit) {
    std::size_t pos = 0;
    std::size_t written = 0;
    for (std::size_t count = 0; count < limit.characters && pos < utf8_text.size(); ++count) {
        const Scalar s = decode(utf8_text.substr(pos));
        const std::string escape = s.size == 0 ? std::string() : escape_of(s.value, quotes);
        const std::size_t width = escape.empty() ? 1 : escape.size();
        if (written + width > limit.written) break;
        written += width;
        if (s.size == 0) {
            out += replacement;
            ++pos;
        } else {
            if (escape.empty()) {
                out.append(utf8_text, pos, s.size);
            } else {
                out += escape;
            }
            pos += s.size;
        }
    }
    return pos;
}

}  // namespace vth

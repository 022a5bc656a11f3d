#include "common/control_escape.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>

namespace vth {
namespace {

// The character at text[i] that a line must not hold raw, and the bytes it
// takes, or 0 bytes for none. A C1 control is the two-byte sequence C2 80 to
// C2 9F; the separators U+2028 and U+2029 and the direction embeddings and
// overrides U+202A to U+202E are E2 80 A8 to AE, the isolates U+2066 to U+2069
// E2 81 A6 to A9. Neither C2 nor E2 ever continues another sequence, so a byte
// scan finds exactly these.
std::size_t control_at(std::string_view text, std::size_t i, char32_t& c) noexcept {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
        c = byte;
        return 1;
    }
    if (byte == 0xC2 && i + 1 < text.size()) {
        const auto next = static_cast<std::uint8_t>(text[i + 1]);
        if (next >= 0x80 && next < 0xA0) {
            c = next;
            return 2;
        }
    }
    if (byte == 0xE2 && i + 2 < text.size()) {
        const auto second = static_cast<std::uint8_t>(text[i + 1]);
        const auto third = static_cast<std::uint8_t>(text[i + 2]);
        if ((second == 0x80 && third >= 0xA8 && third <= 0xAE) ||
            (second == 0x81 && third >= 0xA6 && third <= 0xA9)) {
            c = 0x2000 + ((second & 0x3Fu) << 6) + (third & 0x3Fu);
            return 3;
        }
    }
    return 0;
}

}  // namespace

void append_escaped_char(std::string& out, char32_t c) {
    switch (c) {
        case U'\n':
            out += "\\n";
            return;
        case U'\r':
            out += "\\r";
            return;
        case U'\t':
            out += "\\t";
            return;
        case U'\0':
            out += "\\0";
            return;
        default:
            break;
    }
    char hex[8];
    const auto end = std::to_chars(hex, hex + sizeof hex, static_cast<std::uint32_t>(c), 16).ptr;
    out += "\\u{";
    out.append(hex, end);
    out += '}';
}

bool has_control(std::string_view text) noexcept {
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (control_at(text, i, c) > 0) return true;
    }
    return false;
}

std::string escape_controls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t size = control_at(text, i, c);
        if (size == 0) {
            ++i;
            continue;
        }
        out.append(text, copied, i - copied);
        append_escaped_char(out, c);
        i += size;
        copied = i;
    }
    out.append(text, copied);
    return out;
}

}  // namespace vth

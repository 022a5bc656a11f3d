#include "common/control_escape.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>

namespace vth {
namespace {

// The control at text[i] and the bytes it takes, or 0 bytes for none. A C1
// control is the two-byte sequence C2 80 to C2 9F; C2 never continues another
// sequence, so a byte scan finds exactly these.
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

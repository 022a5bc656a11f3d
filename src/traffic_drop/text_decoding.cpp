#include "traffic_drop/text_decoding.hpp"

#include <algorithm>

namespace vth::drop {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

void append_utf8(std::string& out, char32_t c) {
    auto byte = [](char32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
    if (c < 0x80) {
        out += byte(c);
    } else if (c < 0x800) {
        out += byte(0xC0 | (c >> 6));
        out += byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += byte(0xE0 | (c >> 12));
        out += byte(0x80 | ((c >> 6) & 0x3F));
        out += byte(0x80 | (c & 0x3F));
    } else {
        out += byte(0xF0 | (c >> 18));
        out += byte(0x80 | ((c >> 12) & 0x3F));
        out += byte(0x80 | ((c >> 6) & 0x3F));
        out += byte(0x80 | (c & 0x3F));
    }
}

// The range of the second byte after lead, from the well-formed UTF-8 table;
// every later byte is 0x80..0xBF. Returns the sequence length, 0 for a byte
// that cannot lead.
int sequence_shape(unsigned char lead, unsigned char& low, unsigned char& high) noexcept {
    low = 0x80;
    high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        return 4;
    }
    return 0;
}

}  // namespace

std::size_t stream_read_size(std::uint64_t reported_size) noexcept {
    return static_cast<std::size_t>(std::min<std::uint64_t>(reported_size, stream_read_limit));
}

std::string decode_utf16_text(std::string_view bytes) {
    const std::size_t units = bytes.size() / 2;
    auto unit_at = [&](std::size_t i) {
        auto lo = static_cast<unsigned char>(bytes[2 * i]);
        auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        return static_cast<char16_t>(lo | (hi << 8));
    };
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        char16_t unit = unit_at(i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            char16_t next = unit_at(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += replacement;
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

std::string decode_8bit_text(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += bytes[i++];
            continue;
        }
        unsigned char low = 0;
        unsigned char high = 0;
        const int length = sequence_shape(lead, low, high);
        std::size_t taken = 1;
        bool complete = length > 0;
        for (int k = 1; complete && k < length; ++k) {
            if (i + taken >= bytes.size()) {
                complete = false;
                break;
            }
            auto c = static_cast<unsigned char>(bytes[i + taken]);
            if (c < low || c > high) {
                complete = false;
                break;
            }
            low = 0x80;
            high = 0xBF;
            ++taken;
        }
        // A broken sequence is replaced once, for the lead byte and the valid
        // continuation bytes that followed it.
        if (complete) {
            out.append(bytes.substr(i, taken));
        } else {
            out += replacement;
        }
        i += taken;
    }
    return out;
}

}  // namespace vth::drop

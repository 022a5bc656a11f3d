#include "common/utf8.hpp"

#include <cstddef>

namespace vth {
namespace {

bool in(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// Length of the valid sequence at text[i], or 0.
std::size_t sequence_length(std::string_view text, std::size_t i) {
    auto at = [&](std::size_t k) -> unsigned char {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    const unsigned char lead = at(0);
    if (lead < 0x80) return 1;
    if (in(lead, 0xC2, 0xDF)) return in(at(1), 0x80, 0xBF) ? 2 : 0;
    if (in(lead, 0xE0, 0xEF)) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return in(at(1), low, high) && in(at(2), 0x80, 0xBF) ? 3 : 0;
    }
    if (in(lead, 0xF0, 0xF4)) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return in(at(1), low, high) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = sequence_length(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace vth

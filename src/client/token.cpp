#include "client/token.hpp"

#include <array>
#include <cstdint>

#include "client/client_files.hpp"

namespace vth::client {

Result<std::string> random_token() {
    std::array<std::uint8_t, 16> bytes{};
    if (auto filled = fill_random(bytes); !filled) return std::unexpected(filled.error());
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace vth::client

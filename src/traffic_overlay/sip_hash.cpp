#include "traffic_overlay/sip_hash.hpp"

#include <bit>

namespace vth {
namespace {

struct SipState {
    std::uint64_t v0 = 0x736f6d6570736575ULL;
    std::uint64_t v1 = 0x646f72616e646f6dULL;
    std::uint64_t v2 = 0x6c7967656e657261ULL;
    std::uint64_t v3 = 0x7465646279746573ULL;

    void round() {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    void absorb(std::uint64_t m) {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};

std::uint64_t load_le(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < count; ++i) {
        m |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return m;
}

}  // namespace

std::uint64_t sip_hash_13(std::string_view bytes) {
    SipState s;
    const std::size_t whole = bytes.size() / 8 * 8;
    for (std::size_t at = 0; at < whole; at += 8) s.absorb(load_le(bytes, at, 8));
    s.absorb(load_le(bytes, whole, bytes.size() - whole) |
             (static_cast<std::uint64_t>(bytes.size() & 0xFF) << 56));
    s.v2 ^= 0xFF;
    for (int i = 0; i < 3; ++i) s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace vth

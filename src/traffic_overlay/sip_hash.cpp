#include "traffic_overlay/sip_hash.hpp"

#include <bit>

namespace vth {
namespace {

void round(std::array<std::uint64_t, 4>& v) {
    v[0] += v[1];
    v[1] = std::rotl(v[1], 13);
    v[1] ^= v[0];
    v[0] = std::rotl(v[0], 32);
    v[2] += v[3];
    v[3] = std::rotl(v[3], 16);
    v[3] ^= v[2];
    v[0] += v[3];
    v[3] = std::rotl(v[3], 21);
    v[3] ^= v[0];
    v[2] += v[1];
    v[1] = std::rotl(v[1], 17);
    v[1] ^= v[2];
    v[2] = std::rotl(v[2], 32);
}

void absorb(std::array<std::uint64_t, 4>& v, std::uint64_t m) {
    v[3] ^= m;
    round(v);
    v[0] ^= m;
}

std::uint64_t byte_at(std::string_view bytes, std::size_t at, std::uint64_t place) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at])) << (8 * place);
}

// Adds one byte to the unfinished word, absorbing it once it is whole.
void write_byte(SipHash13& s, std::string_view bytes, std::size_t at) {
    s.tail |= byte_at(bytes, at, s.length % 8);
    if (++s.length % 8 == 0) {
        absorb(s.v, s.tail);
        s.tail = 0;
    }
}

}  // namespace

void sip_write(SipHash13& s, std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && s.length % 8 != 0) write_byte(s, bytes, at++);
    // Whole words in a local state: stores into s could alias the bytes as
    // far as the compiler knows, and would force a reload of every word.
    auto v = s.v;
    const std::size_t words = (bytes.size() - at) / 8;
    for (std::size_t w = 0; w < words; ++w, at += 8) {
        std::uint64_t m = 0;
        for (std::uint64_t i = 0; i < 8; ++i) m |= byte_at(bytes, at + i, i);
        absorb(v, m);
    }
    s.v = v;
    s.length += 8 * words;
    while (at < bytes.size()) write_byte(s, bytes, at++);
}

std::uint64_t sip_finish(SipHash13 s) {
    absorb(s.v, s.tail | ((s.length & 0xFF) << 56));
    s.v[2] ^= 0xFF;
    for (int i = 0; i < 3; ++i) round(s.v);
    return s.v[0] ^ s.v[1] ^ s.v[2] ^ s.v[3];
}

std::uint64_t sip_hash_13(std::string_view bytes) {
    SipHash13 s;
    sip_write(s, bytes);
    return sip_finish(s);
}

}  // namespace vth

#pragma once
// SipHash-1-3 with both key words 0: the content hash's function. None of
// the project's libraries offers it, and it is small. It is fed in pieces,
// so a text of many megabytes is hashed where it lies instead of being
// copied together with the rest first. Pure; any thread, on state it owns.
#include <array>
#include <cstdint>
#include <string_view>

namespace vth {

struct SipHash13 {
    std::array<std::uint64_t, 4> v = {0x736f6d6570736575ULL, 0x646f72616e646f6dULL,
                                      0x6c7967656e657261ULL, 0x7465646279746573ULL};
    std::uint64_t tail = 0;    // the bytes of the word not yet absorbed, little-endian
    std::uint64_t length = 0;  // bytes written so far
};

// Writing pieces one after another hashes them as one stream.
void sip_write(SipHash13& state, std::string_view bytes);
std::uint64_t sip_finish(SipHash13 state);

std::uint64_t sip_hash_13(std::string_view bytes);

}  // namespace vth

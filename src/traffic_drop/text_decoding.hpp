#pragma once
// Turning the raw bytes of a clipboard format into UTF-8 text. Pure
// functions; any thread may call them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vth::drop {

// A stream is never read beyond this many bytes; memory blocks are read whole.
inline constexpr std::size_t stream_read_limit = std::size_t{1024} * 1024;

// How many bytes to read from a stream that reports reported_size.
std::size_t stream_read_size(std::uint64_t reported_size) noexcept;

// Little-endian UTF-16 units up to the first zero unit (an odd last byte is
// ignored); unpaired surrogates become U+FFFD.
std::string decode_utf16_text(std::string_view bytes);

// UTF-8 up to the first zero byte, whatever code page the source used; each
// maximal invalid subsequence becomes one U+FFFD.
std::string decode_8bit_text(std::string_view bytes);

inline std::string decode_text(std::string_view bytes, bool wide) {
    return wide ? decode_utf16_text(bytes) : decode_8bit_text(bytes);
}

}  // namespace vth::drop

#pragma once
// The fuzz input as a source of choices for targets that build their cases
// from it.
#include <cstddef>
#include <cstdint>

namespace vth::fuzz {

// Hands out the input's bytes; zeros once they run out.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : next() % bound; }
    std::uint16_t u16() {
        const unsigned low = next();
        return static_cast<std::uint16_t>(low | (unsigned{next()} << 8));
    }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | next();
        return v;
    }
    bool empty() const { return at_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace vth::fuzz

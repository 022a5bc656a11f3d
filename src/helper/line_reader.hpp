#pragma once
// Splitting a byte source into lines: a line is everything up to a line
// feed, a carriage return right before the line feed is dropped, and a last
// line without a line feed counts too. No size limit. One thread only.
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"

namespace vth {

class LineReader {
  public:
    static constexpr std::size_t buffer_size = 8192;

    explicit LineReader(ByteSource& source) : source_(source) {}

    // The next line's bytes; nothing at the end of the stream; the source's
    // error when a read failed (interrupted reads are repeated).
    Result<std::optional<std::string>> next();

  private:
    ByteSource& source_;
    std::array<char, buffer_size> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace vth

#pragma once
// Splitting a byte source into lines: a line is everything up to a line
// feed, a carriage return right before the line feed is dropped, and a last
// line without a line feed counts too. No size limit. One thread only.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"

namespace vth {

class LineReader {
  public:
    // Bytes asked of the source per read.
    static constexpr std::size_t buffer_size = 8192;

    explicit LineReader(ByteSource& source) : source_(source) {}

    // The next line's bytes; nothing at the end of the stream; the source's
    // error when a read failed (interrupted reads are repeated).
    Result<std::optional<std::string>> next();

    // The same line without a copy: a view into the reader's buffer, valid
    // until the next call, with a NUL byte right after it.
    Result<std::optional<std::string_view>> next_view();

  private:
    // Room for one more read and the NUL after a last line.
    void make_room();

    ByteSource& source_;
    // Bytes read: [begin_, end_) not yet handed out, [begin_, scanned_) known
    // to hold no line feed. Lines are read into it whole, so it grows to the
    // longest line (the connection's lines are about the same size).
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t scanned_ = 0;
    std::size_t end_ = 0;
};

}  // namespace vth

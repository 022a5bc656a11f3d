#pragma once
// Splitting a byte source into lines: a line is everything up to a line
// feed, a carriage return right before the line feed is dropped, and a last
// line without a line feed counts too. A line longer than the limit is
// refused without being held whole. One thread only.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"

namespace vth {

// A line, or in its place the mark of one refused for its length.
struct LineView {
    std::string_view text;  // empty when too_long
    bool too_long = false;
};

class LineReader {
  public:
    // Bytes asked of the source per read.
    static constexpr std::size_t buffer_size = 8192;
    // The longest line taken, the line ending not counted: 64 MiB.
    static constexpr std::size_t default_max_line = std::size_t{64} << 20;

    explicit LineReader(ByteSource& source, std::size_t max_line = default_max_line)
        : source_(source), max_line_(max_line) {}

    // The next line's bytes; nothing at the end of the stream; the source's
    // error when a read failed (interrupted reads are repeated). A line longer
    // than the limit is the error too_long_text(); reading may go on.
    Result<std::optional<std::string>> next();

    // The same line without a copy: a view into the reader's buffer, valid
    // until the next call, with a NUL byte right after it. A line longer than
    // the limit comes back as soon as it is known to be too long, marked
    // too_long; its bytes up to the next line feed are skipped by the calls
    // that follow.
    Result<std::optional<LineView>> next_view();

    // "line longer than N bytes" for this reader's limit.
    std::string too_long_text() const;

  private:
    // Room for one more read and the NUL after a last line.
    void make_room();
    // Gives up the line in the buffer and its rest up to the next line feed.
    LineView refuse_line();

    ByteSource& source_;
    std::size_t max_line_;
    // Bytes read: [begin_, end_) not yet handed out, [begin_, scanned_) known
    // to hold no line feed. Lines are read into it whole, so it grows to the
    // longest line (the connection's lines are about the same size), but
    // never past the limit and one read.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t scanned_ = 0;
    std::size_t end_ = 0;
    // Skipping the rest of a refused line.
    bool skipping_ = false;
};

}  // namespace vth

#pragma once
// The input stream the JSON reader takes its bytes from. The reader treats
// '\0' as the end of input, so a NUL byte inside the text is handed over as
// another control character, which the reader rejects wherever a NUL would
// be rejected; only the real end yields '\0'. Offsets stay byte offsets of
// the original text. Owned by one decoding call; not shared between threads.
#include <cstddef>
#include <string_view>

namespace vth::json {

class InputStream {
  public:
    using Ch = char;

    explicit InputStream(std::string_view text) noexcept
        : begin_(text.data()), current_(text.data()), end_(text.data() + text.size()) {}

    Ch Peek() const noexcept { return current_ == end_ ? '\0' : visible(*current_); }
    Ch Take() noexcept { return current_ == end_ ? '\0' : visible(*current_++); }
    std::size_t Tell() const noexcept { return static_cast<std::size_t>(current_ - begin_); }

    // Output side of the stream concept; never used by a non-destructive read.
    Ch* PutBegin() noexcept { return nullptr; }
    void Put(Ch) noexcept {}
    void Flush() noexcept {}
    std::size_t PutEnd(Ch*) noexcept { return 0; }

  private:
    static constexpr Ch nul_stand_in = '\x01';
    static Ch visible(Ch c) noexcept { return c == '\0' ? nul_stand_in : c; }

    const char* begin_;
    const char* current_;
    const char* end_;
};

}  // namespace vth::json

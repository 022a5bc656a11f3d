#pragma once
// The streams the JSON reader takes its bytes from, and puts decoded strings
// into. The reader treats '\0' as the end of input; offsets stay byte
// offsets of the original text. Owned by one decoding call; not shared
// between threads.
//
// The reader runs in its in-place mode, which decodes a string through the
// stream's output side instead of its own stack, but the input is never
// written. A string without escapes is its own bytes in the input, so its
// decoded form is a view of them and costs nothing, however long it is; only
// at a string's first escape are its bytes copied to a buffer of the
// stream's own, and decoded on there.
#include <cstddef>
#include <string_view>
#include <vector>

namespace vth::json {

// A text known to be followed in memory by a NUL byte, as a std::string's
// data() is: reading it needs no bounds test per byte.
struct NulTerminated {
    std::string_view text;  // text.data()[text.size()] is readable and '\0'
};

// Position and output side shared by the streams.
class StreamBase {
  public:
    using Ch = char;

    std::size_t Tell() const noexcept { return static_cast<std::size_t>(current_ - begin_); }

    // The last string decoded, without the NUL the reader ends it with.
    std::string_view decoded(std::size_t length) const noexcept {
        return {copied_ ? decoded_.data() : put_start_, length};
    }

    // Output side of the in-place mode.
    Ch* PutBegin() noexcept {
        put_start_ = current_;
        put_count_ = 0;
        copied_ = false;
        return nullptr;
    }
    void Put(Ch c) {
        if (!copied_) {
            // In step while each byte put is the one just taken; the NUL that
            // ends a string stands for its closing quote.
            const auto taken = static_cast<std::size_t>(current_ - put_start_);
            if (taken == put_count_ + 1 && put_start_[put_count_] == (c == '\0' ? '"' : c)) {
                ++put_count_;
                return;
            }
            decoded_.assign(put_start_, put_start_ + put_count_);
            copied_ = true;
        }
        decoded_.push_back(c);
    }
    void Flush() noexcept {}
    std::size_t PutEnd(Ch*) const noexcept { return copied_ ? decoded_.size() : put_count_; }

  protected:
    explicit StreamBase(std::string_view text)
        : begin_(text.data()), current_(text.data()), end_(text.data() + text.size()) {
        decoded_.reserve(64);  // the strings of a command are short
    }

    const char* begin_;
    const char* current_;
    const char* end_;
    // The string being decoded: where its bytes start in the input, how many
    // were put, and whether they had to be copied (an escape came).
    const char* put_start_ = nullptr;
    std::size_t put_count_ = 0;
    bool copied_ = false;
    std::vector<char> decoded_;
};

// Any text: the end is found by comparing positions. A NUL byte inside is
// handed over as another control character, which the reader rejects
// wherever a NUL would be rejected; only the real end yields '\0'.
class InputStream : public StreamBase {
  public:
    explicit InputStream(std::string_view text) : StreamBase(text) {}

    Ch Peek() const noexcept { return current_ == end_ ? '\0' : visible(*current_); }
    Ch Take() noexcept { return current_ == end_ ? '\0' : visible(*current_++); }

  private:
    // Without a branch: a NUL becomes its stand-in, the next byte value.
    static Ch visible(Ch c) noexcept { return static_cast<Ch>(c + (c == '\0')); }
};

// A NUL-terminated text read as if the terminator were its only NUL: no
// test per byte. The reader stops at the first NUL it meets, so Tell() shows
// whether that was the end. Never moves past the end (the reader may take
// there more than once).
class NulFreeInputStream : public StreamBase {
  public:
    explicit NulFreeInputStream(NulTerminated text) : StreamBase(text.text) {}

    Ch Peek() const noexcept { return *current_; }
    Ch Take() noexcept {
        // Staying at the end is decided by position, not by the byte read,
        // so the next read never waits for this one.
        const Ch c = *current_;
        current_ += current_ != end_;
        return c;
    }
};

}  // namespace vth::json

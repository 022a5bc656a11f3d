#include "helper/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <span>

namespace vth {

void LineReader::make_room() {
    if (begin_ > 0) {
        // Only the start of the next line is left; it moves to the front.
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    const std::size_t wanted = end_ + buffer_size + 1;
    if (wanted <= capacity_) return;
    const std::size_t grown = std::max(wanted, 2 * capacity_);
    auto bigger = std::make_unique_for_overwrite<char[]>(grown);
    if (end_ > 0) std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ = grown;
}

Result<std::optional<std::string_view>> LineReader::next_view() {
    for (;;) {
        char* const data = buffer_.get();
        if (const auto* feed = scanned_ < end_ ? static_cast<char*>(std::memchr(
                                                     data + scanned_, '\n', end_ - scanned_))
                                               : nullptr) {
            const auto start = begin_;
            auto stop = static_cast<std::size_t>(feed - data);
            begin_ = scanned_ = stop + 1;
            if (stop > start && data[stop - 1] == '\r') --stop;
            data[stop] = '\0';
            return std::string_view(data + start, stop - start);
        }
        scanned_ = end_;
        make_room();
        auto got = source_.read(std::span<char>(buffer_.get() + end_, buffer_size));
        if (!got) {
            if (is_interrupted(got.error())) continue;
            // The part of the line read so far is dropped with the error.
            begin_ = scanned_ = end_ = 0;
            return std::unexpected(got.error());
        }
        if (*got == 0) {
            if (begin_ == end_) return std::optional<std::string_view>{};
            const auto start = begin_;
            begin_ = scanned_ = end_;
            buffer_[end_] = '\0';
            return std::string_view(buffer_.get() + start, end_ - start);
        }
        end_ += *got;
    }
}

Result<std::optional<std::string>> LineReader::next() {
    auto line = next_view();
    if (!line) return std::unexpected(line.error());
    if (!*line) return std::optional<std::string>{};
    return std::string(**line);
}

}  // namespace vth

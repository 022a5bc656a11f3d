#include "helper/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <utility>

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
    // Unread bytes never exceed the limit and a carriage return, so this
    // much always holds them and one more read.
    const std::size_t most = max_line_ + 2 + buffer_size;
    const std::size_t grown = std::min(std::max(wanted, 2 * capacity_), std::max(wanted, most));
    auto bigger = std::make_unique_for_overwrite<char[]>(grown);
    if (end_ > 0) std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ = grown;
}

LineView LineReader::refuse_line() {
    begin_ = scanned_ = end_ = 0;
    // The buffer grew for this line; the lines after it start small again.
    buffer_.reset();
    capacity_ = 0;
    skipping_ = true;
    return LineView{{}, true};
}

Result<std::optional<LineView>> LineReader::next_view() {
    for (;;) {
        char* const data = buffer_.get();
        if (const auto* feed = scanned_ < end_ ? static_cast<char*>(std::memchr(
                                                     data + scanned_, '\n', end_ - scanned_))
                                               : nullptr) {
            const auto start = begin_;
            auto stop = static_cast<std::size_t>(feed - data);
            begin_ = scanned_ = stop + 1;
            if (std::exchange(skipping_, false)) continue;
            if (stop > start && data[stop - 1] == '\r') --stop;
            if (stop - start > max_line_) return LineView{{}, true};
            data[stop] = '\0';
            return LineView{std::string_view(data + start, stop - start)};
        }
        scanned_ = end_;
        if (skipping_) {
            begin_ = scanned_ = end_ = 0;
        } else if (end_ - begin_ > max_line_ + 1) {
            // Too long even if a carriage return and the line feed come next.
            return refuse_line();
        }
        make_room();
        auto got = source_.read(std::span<char>(buffer_.get() + end_, buffer_size));
        if (!got) {
            if (is_interrupted(got.error())) continue;
            // The part of the line read so far is dropped with the error.
            begin_ = scanned_ = end_ = 0;
            return std::unexpected(got.error());
        }
        if (*got == 0) {
            if (begin_ == end_) return std::optional<LineView>{};
            const auto start = begin_;
            begin_ = scanned_ = end_;
            if (end_ - start > max_line_) return LineView{{}, true};
            buffer_[end_] = '\0';
            return LineView{std::string_view(buffer_.get() + start, end_ - start)};
        }
        end_ += *got;
    }
}

Result<std::optional<std::string>> LineReader::next() {
    auto line = next_view();
    if (!line) return std::unexpected(line.error());
    if (!*line) return std::optional<std::string>{};
    if ((*line)->too_long) return fail(too_long_text());
    return std::string((*line)->text);
}

std::string LineReader::too_long_text() const {
    return "line longer than " + std::to_string(max_line_) + " bytes";
}

}  // namespace vth

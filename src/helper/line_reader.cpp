#include "helper/line_reader.hpp"

#include <algorithm>

namespace vth {

Result<std::optional<std::string>> LineReader::next() {
    std::string line;
    bool any = false;
    for (;;) {
        const auto* first = buffer_.data() + begin_;
        const auto* last = buffer_.data() + end_;
        const auto* feed = std::find(first, last, '\n');
        line.append(first, feed);
        if (feed != last) {
            begin_ = static_cast<std::size_t>(feed - buffer_.data()) + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        any = any || first != last;
        begin_ = end_ = 0;
        auto got = source_.read(buffer_);
        if (!got) {
            if (is_interrupted(got.error())) continue;
            return std::unexpected(got.error());
        }
        if (*got == 0) {
            if (!any) return std::optional<std::string>{};
            return line;
        }
        end_ = *got;
    }
}

}  // namespace vth

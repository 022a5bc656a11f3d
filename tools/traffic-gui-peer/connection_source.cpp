#include "connection_source.hpp"

#include <algorithm>
#include <chrono>

namespace vth::peer {

Result<std::size_t> ConnectionSource::read(std::span<char> buffer) {
    if (held_from_ < held_.size()) {
        const std::size_t n = std::min(buffer.size(), held_.size() - held_from_);
        std::copy_n(held_.begin() + static_cast<std::ptrdiff_t>(held_from_), n, buffer.begin());
        held_from_ += n;
        return n;
    }
    for (;;) {
        auto got = connection_->read(buffer, std::chrono::seconds(1));
        if (!got) return std::unexpected(got.error());
        if (*got) return **got;
    }
}

}  // namespace vth::peer

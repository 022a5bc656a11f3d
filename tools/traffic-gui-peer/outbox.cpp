#include "outbox.hpp"

#include <string>

#include "helper/send_message.hpp"

namespace vth::peer {

Result<void> Outbox::send_line(std::string_view line) {
    std::string bytes(line);
    bytes += '\n';
    std::lock_guard lock(mutex_);
    if (finished_) return fail("the peer has stopped sending");
    return write_all(*stream_, bytes);
}

void Outbox::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    // A failure means the connection is gone already, which is what we want.
    [[maybe_unused]] auto ignored = stream_->shut_down_write();
}

}  // namespace vth::peer

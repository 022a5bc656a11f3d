#include "outbox.hpp"

#include <string>

#include "helper/send_message.hpp"

namespace vth::peer {

Outbox::Outbox(std::unique_ptr<SocketStream> stream) {
    std::shared_ptr<SocketStream> shared(std::move(stream));
    write_ = [shared](std::string_view bytes) { return write_all(*shared, bytes); };
    // A failure means the connection is gone already, which is what we want.
    end_ = [shared] { [[maybe_unused]] auto ignored = shared->shut_down_write(); };
}

Outbox::Outbox(std::shared_ptr<client::Connection> connection,
               std::chrono::milliseconds stall_limit) {
    write_ = [connection, stall_limit](std::string_view bytes) {
        return connection->write_all(bytes, stall_limit, [] { return false; });
    };
    end_ = [connection] { connection->finish_sending(); };
}

Result<void> Outbox::send_line(std::string_view line) {
    std::string bytes(line);
    bytes += '\n';
    std::lock_guard lock(mutex_);
    if (finished_) return fail("the peer has stopped sending");
    return write_(bytes);
}

void Outbox::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    end_();
}

}  // namespace vth::peer

#pragma once
// Commands to the helper from the script or standard input and the traffic
// stream: whole lines, never mixed, from any thread.
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "client/loopback.hpp"
#include "common/error.hpp"
#include "helper/socket_stream.hpp"

namespace vth::peer {

class Outbox {
  public:
    explicit Outbox(std::unique_ptr<SocketStream> stream);
    // Writes wait for the helper up to stall_limit without progress.
    Outbox(std::shared_ptr<client::Connection> connection, std::chrono::milliseconds stall_limit);

    // The line and a line feed.
    Result<void> send_line(std::string_view line);
    // Nothing is sent after this; the helper reads the end of the stream.
    void finish();

  private:
    std::mutex mutex_;
    std::function<Result<void>(std::string_view)> write_;
    std::function<void()> end_;
    bool finished_ = false;
};

}  // namespace vth::peer

#pragma once
// Messages from the helper: printed as they arrive, counted by type and
// waited for by the script. The reader thread adds, any thread waits.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/byte_stream.hpp"

namespace vth::peer {

// The fields the peer looks at; empty when absent or not strings.
struct Message {
    std::string type;  // "(not JSON)" or "(no type)" when there is none
    std::string action;
    std::string token;
};

Message parse_message(std::string_view line);

class Inbox {
  public:
    using Clock = std::chrono::steady_clock;

    // Lines go to out as "<ms since start> <line>".
    Inbox(Clock::time_point start, std::FILE* out) : start_(start), out_(out) {}

    void add(std::string_view line);
    // The connection has ended; waiting stops.
    void close();

    // The index of the first message from index `from` on that matches,
    // waiting up to the deadline; nothing when none came before it or before
    // the connection ended.
    std::optional<std::size_t> wait_for(std::size_t from,
                                        const std::function<bool(const Message&)>& match,
                                        Clock::time_point deadline);
    // A message wait_for has returned the index of.
    Message at(std::size_t index) const;
    // True when the connection ended by the deadline.
    bool wait_closed(Clock::time_point deadline);
    bool closed() const;
    std::map<std::string, std::size_t> counts() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    bool closed_ = false;
    Clock::time_point start_;
    std::FILE* out_;
};

// The reader thread's body: lines until the end of the stream or a read
// error (reported on stderr), then the inbox is closed.
void receive(ByteSource& source, Inbox& inbox);

}  // namespace vth::peer

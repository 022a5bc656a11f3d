#pragma once
// Events waiting for the GUI. The library's threads push, the GUI's thread
// pops; the signal is set exactly while events wait. Bounded: once many
// events wait, new state reports (a heartbeat a second) are dropped, and past
// the hard limit the oldest event goes, so a GUI that never looks cannot make
// the library grow without end.
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "client/client_event.hpp"
#include "client/event_signal.hpp"

namespace vth::client {

class EventQueue {
  public:
    static constexpr std::size_t state_limit = 1024;
    static constexpr std::size_t hard_limit = 65536;

    // The signal outlives the queue.
    explicit EventQueue(EventSignal& signal) : signal_(signal) {}

    void push(ClientEvent event);
    std::optional<ClientEvent> pop();

  private:
    EventSignal& signal_;
    std::mutex mutex_;
    std::deque<ClientEvent> events_;
};

}  // namespace vth::client

#include "client/event_queue.hpp"

namespace vth::client {

void EventQueue::push(ClientEvent event) {
    const std::lock_guard lock(mutex_);
    if (event.kind == EventKind::state && events_.size() >= state_limit) return;
    if (events_.size() >= hard_limit) events_.pop_front();
    events_.push_back(std::move(event));
    signal_.set();
}

std::optional<ClientEvent> EventQueue::pop() {
    const std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    ClientEvent event = std::move(events_.front());
    events_.pop_front();
    if (events_.empty()) signal_.clear();
    return event;
}

}  // namespace vth::client

#pragma once
// What a GUI waits on for events: on Windows a manual-reset event, natively
// an eventfd, readable while set. Any thread may set or clear it.
#include <cstdint>
#include <memory>

#include "common/error.hpp"

namespace vth::client {

class EventSignal {
  public:
    virtual ~EventSignal() = default;
    virtual void set() noexcept = 0;
    virtual void clear() noexcept = 0;
    // The HANDLE or descriptor, owned here.
    virtual std::intptr_t native() const noexcept = 0;
};

Result<std::unique_ptr<EventSignal>> make_event_signal();

}  // namespace vth::client

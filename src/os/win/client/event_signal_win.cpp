#include <windows.h>

#include "client/event_signal.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/system_message.hpp"

namespace vth::client {
namespace {

class WinEvent final : public EventSignal {
  public:
    explicit WinEvent(win::UniqueHandle event) : event_(std::move(event)) {}
    void set() noexcept override { SetEvent(event_.get()); }
    void clear() noexcept override { ResetEvent(event_.get()); }
    std::intptr_t native() const noexcept override {
        return reinterpret_cast<std::intptr_t>(event_.get());
    }

  private:
    win::UniqueHandle event_;
};

}  // namespace

Result<std::unique_ptr<EventSignal>> make_event_signal() {
    // Manual reset: it stays set while events wait, however many waits see it.
    win::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return std::unexpected(win::last_error());
    return std::unique_ptr<EventSignal>(std::make_unique<WinEvent>(std::move(event)));
}

}  // namespace vth::client

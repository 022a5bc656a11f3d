#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/event_signal.hpp"

namespace vth::client {
namespace {

class EventFd final : public EventSignal {
  public:
    explicit EventFd(int fd) : fd_(fd) {}
    ~EventFd() override { ::close(fd_); }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    void set() noexcept override {
        const std::uint64_t one = 1;
        // A full counter is still readable, which is all set means.
        (void)!::write(fd_, &one, sizeof one);
    }
    void clear() noexcept override {
        std::uint64_t count = 0;
        (void)!::read(fd_, &count, sizeof count);  // non-blocking: nothing to clear is fine
    }
    std::intptr_t native() const noexcept override { return fd_; }

  private:
    int fd_;
};

}  // namespace

Result<std::unique_ptr<EventSignal>> make_event_signal() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return fail("eventfd: " + os_error_text(std::strerror(errno), errno), errno);
    return std::unique_ptr<EventSignal>(std::make_unique<EventFd>(fd));
}

}  // namespace vth::client

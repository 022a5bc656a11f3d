#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/loopback.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto write_slice = 50ms;

Error errno_error(const char* what, int code) {
    return Error{std::string(what) + ": " + os_error_text(std::strerror(code), code), code};
}

// True when fd became ready for events within timeout.
Result<bool> wait_for(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (n >= 0) return n > 0;
        if (errno != EINTR) return std::unexpected(errno_error("poll", errno));
    }
}

class PosixConnection final : public Connection {
  public:
    explicit PosixConnection(int fd) : fd_(fd) {
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~PosixConnection() override { ::close(fd_); }
    PosixConnection(const PosixConnection&) = delete;
    PosixConnection& operator=(const PosixConnection&) = delete;

    Result<std::optional<std::size_t>> read(std::span<char> buffer,
                                            std::chrono::milliseconds timeout) override {
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
            if (n >= 0) return std::optional<std::size_t>(static_cast<std::size_t>(n));
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return std::unexpected(errno_error("recv", errno));
            }
            if (timeout.count() <= 0) return std::optional<std::size_t>();
            auto ready = wait_for(fd_, POLLIN, timeout);
            if (!ready) return std::unexpected(ready.error());
            if (!*ready) return std::optional<std::size_t>();
            timeout = 0ms;  // ready: one more try
        }
    }

    Result<void> write_all(std::string_view data, std::chrono::milliseconds stall_limit,
                           const std::function<bool()>& abandon) override {
        auto progress = Clock::now();
        while (!data.empty()) {
            const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n > 0) {
                data.remove_prefix(static_cast<std::size_t>(n));
                progress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return std::unexpected(errno_error("send", errno));
            }
            if (abandon()) return fail("the write was given up");
            if (Clock::now() - progress >= stall_limit) return fail("the helper takes nothing");
            if (auto waited = wait_for(fd_, POLLOUT, write_slice); !waited) {
                return std::unexpected(waited.error());
            }
        }
        return {};
    }

    void finish_sending() noexcept override { ::shutdown(fd_, SHUT_WR); }
    void shut_down() noexcept override { ::shutdown(fd_, SHUT_RDWR); }

  private:
    int fd_;
};

class PosixListener final : public Listener {
  public:
    PosixListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
    ~PosixListener() override { ::close(fd_); }
    PosixListener(const PosixListener&) = delete;
    PosixListener& operator=(const PosixListener&) = delete;

    std::uint16_t port() const override { return port_; }

    Result<std::unique_ptr<Connection>> accept_one(std::chrono::milliseconds timeout) override {
        auto ready = wait_for(fd_, POLLIN, timeout);
        if (!ready) return std::unexpected(ready.error());
        if (!*ready) return std::unique_ptr<Connection>();
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ||
                errno == ECONNABORTED) {
                return std::unique_ptr<Connection>();
            }
            return std::unexpected(errno_error("accept", errno));
        }
        return std::unique_ptr<Connection>(std::make_unique<PosixConnection>(fd));
    }

  private:
    int fd_;
    std::uint16_t port_;
};

}  // namespace

Result<std::unique_ptr<Listener>> listen_exclusive() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::unexpected(errno_error("socket", errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    // No SO_REUSEADDR or SO_REUSEPORT: nobody else binds this port beside us.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int code = errno;
        ::close(fd);
        return std::unexpected(errno_error("listen", code));
    }
    return std::unique_ptr<Listener>(std::make_unique<PosixListener>(fd, ntohs(address.sin_port)));
}

}  // namespace vth::client

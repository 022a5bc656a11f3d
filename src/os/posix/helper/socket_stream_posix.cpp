// POSIX sockets for the native build. Every descriptor is close-on-exec, so a
// process the reference peer starts holds no copy of the connection.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "helper/socket_stream.hpp"

namespace vth {
namespace {

Error errno_error(int code) {
    return Error{os_error_text(std::strerror(code), code), code};
}

std::unexpected<Error> last_errno() {
    return std::unexpected(errno_error(errno));
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Descriptor() { close(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

  private:
    void close() noexcept {
        // close is never retried after EINTR on Linux: the descriptor is gone.
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

Result<void> set_option(int fd, int level, int name, const void* value, socklen_t size) {
    if (::setsockopt(fd, level, name, value, size) != 0) return last_errno();
    return {};
}

class PosixSocketStream final : public SocketStream {
  public:
    explicit PosixSocketStream(Descriptor fd) : fd_(std::move(fd)) {}

    Result<std::size_t> read(std::span<char> buffer) override {
        const ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
        if (n < 0) return last_errno();
        return static_cast<std::size_t>(n);
    }

    Result<std::size_t> write(std::span<const char> data) override {
        // A peer that has gone gives EPIPE here instead of killing the process.
        const ssize_t n =
            ::send(fd_.get(), data.data(), std::min(data.size(), max_write_piece), MSG_NOSIGNAL);
        if (n < 0) return last_errno();
        return static_cast<std::size_t>(n);
    }

    Result<void> set_no_delay() override {
        const int on = 1;
        return set_option(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    Result<bool> no_delay() const override {
        int on = 0;
        socklen_t size = sizeof on;
        if (::getsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &on, &size) != 0) return last_errno();
        return on != 0;
    }

    Result<void> set_write_timeout(std::chrono::milliseconds timeout) override {
        // A zero timeval would mean "never"; the shortest real timeout is 1 ms.
        const auto ms = std::max<std::chrono::milliseconds::rep>(timeout.count(), 1);
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(ms / 1000);
        tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
        return set_option(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }

    Result<std::unique_ptr<SocketStream>> duplicate() override {
        Descriptor copy(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
        if (!copy) return last_errno();
        return std::make_unique<PosixSocketStream>(std::move(copy));
    }

    Result<void> shut_down_write() override {
        if (::shutdown(fd_.get(), SHUT_WR) != 0) return last_errno();
        return {};
    }

  private:
    Descriptor fd_;
};

class PosixListener final : public SocketListener {
  public:
    PosixListener(Descriptor fd, std::uint16_t port) : fd_(std::move(fd)), port_(port) {}

    std::uint16_t port() const override { return port_; }

    Result<std::unique_ptr<SocketStream>> accept(std::chrono::milliseconds timeout) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        pollfd waiting{.fd = fd_.get(), .events = POLLIN, .revents = 0};
        for (;;) {
            // A signal only shortens the wait; the deadline stays.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            const int ready =
                ::poll(&waiting, 1, static_cast<int>(std::max<long>(left.count(), 0)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return last_errno();
            if (ready == 0) return std::unexpected(errno_error(ETIMEDOUT));
            break;
        }
        Descriptor connection(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection) return last_errno();
        return std::make_unique<PosixSocketStream>(std::move(connection));
    }

  private:
    Descriptor fd_;
    std::uint16_t port_;
};

}  // namespace

Result<std::unique_ptr<SocketStream>> connect_tcp(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        if (rc == EAI_SYSTEM) return last_errno();
        return fail(std::string(::gai_strerror(rc)) + ": " + host);
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    Error last{};
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Descriptor fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) {
            last = errno_error(errno);
            continue;
        }
        if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) == 0) {
            return std::make_unique<PosixSocketStream>(std::move(fd));
        }
        last = errno_error(errno);
    }
    return std::unexpected(last);
}

Result<std::unique_ptr<SocketListener>> listen_loopback(std::uint16_t port) {
    Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return last_errno();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return last_errno();
    }
    if (::listen(fd.get(), SOMAXCONN) != 0) return last_errno();
    socklen_t size = sizeof address;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return last_errno();
    }
    return std::make_unique<PosixListener>(std::move(fd), ntohs(address.sin_port));
}

bool is_timeout(const Error& error) {
    // SO_SNDTIMEO ends a blocking send with EAGAIN; our accept says ETIMEDOUT.
    return error.os_code == ETIMEDOUT || error.os_code == EAGAIN || error.os_code == EWOULDBLOCK;
}

}  // namespace vth

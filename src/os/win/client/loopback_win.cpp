#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "client/loopback.hpp"
#include "os/win/common/owned.hpp"
#include "os/win/common/system_message.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using UniqueSocket = win::Owned<SOCKET, closesocket, INVALID_SOCKET>;

constexpr auto write_slice = 50ms;
// The macro is an unsigned value; the call takes a long.
const auto non_blocking_mode = static_cast<long>(FIONBIO);

std::unexpected<Error> socket_error(const char* what) {
    const Error error = win::system_error(static_cast<DWORD>(WSAGetLastError()));
    return std::unexpected(Error{std::string(what) + ": " + error.text, error.os_code});
}

// Once per process; never cleaned up, so sockets stay usable until exit.
Result<void> start_winsock() {
    static std::once_flag once;
    static int started = 0;
    std::call_once(once, [] {
        WSADATA data{};
        started = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (started != 0) return std::unexpected(win::system_error(static_cast<DWORD>(started)));
    return {};
}

int clamp_length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// True when s became ready within timeout: for reading (or a closed
// connection) or for writing.
Result<bool> wait_for(SOCKET s, bool writing, std::chrono::milliseconds timeout) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval limit{static_cast<long>(timeout.count() / 1000),
                  static_cast<long>((timeout.count() % 1000) * 1000)};
    const int n = select(0, writing ? nullptr : &set, writing ? &set : nullptr, &failed, &limit);
    if (n == SOCKET_ERROR) return socket_error("select");
    return n > 0;
}

bool would_block() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

class WinConnection final : public Connection {
  public:
    explicit WinConnection(UniqueSocket socket) : socket_(std::move(socket)) {
        const BOOL on = TRUE;
        setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                   sizeof on);
    }

    Result<std::optional<std::size_t>> read(std::span<char> buffer,
                                            std::chrono::milliseconds timeout) override {
        for (;;) {
            const int n = recv(socket_.get(), buffer.data(), clamp_length(buffer.size()), 0);
            if (n >= 0) return std::optional<std::size_t>(static_cast<std::size_t>(n));
            if (!would_block()) return socket_error("recv");
            if (timeout.count() <= 0) return std::optional<std::size_t>();
            auto ready = wait_for(socket_.get(), false, timeout);
            if (!ready) return std::unexpected(ready.error());
            if (!*ready) return std::optional<std::size_t>();
            timeout = 0ms;  // ready: one more try
        }
    }

    Result<void> write_all(std::string_view data, std::chrono::milliseconds stall_limit,
                           const std::function<bool()>& abandon) override {
        auto progress = Clock::now();
        while (!data.empty()) {
            const int n = send(socket_.get(), data.data(), clamp_length(data.size()), 0);
            if (n > 0) {
                data.remove_prefix(static_cast<std::size_t>(n));
                progress = Clock::now();
                continue;
            }
            if (n == SOCKET_ERROR && !would_block()) return socket_error("send");
            if (abandon()) return fail("the write was given up");
            if (Clock::now() - progress >= stall_limit) return fail("the helper takes nothing");
            if (auto waited = wait_for(socket_.get(), true, write_slice); !waited) {
                return std::unexpected(waited.error());
            }
        }
        return {};
    }

    void finish_sending() noexcept override { shutdown(socket_.get(), SD_SEND); }
    void shut_down() noexcept override { shutdown(socket_.get(), SD_BOTH); }

  private:
    UniqueSocket socket_;
};

class WinListener final : public Listener {
  public:
    WinListener(UniqueSocket socket, std::uint16_t port)
        : socket_(std::move(socket)), port_(port) {}

    std::uint16_t port() const override { return port_; }

    Result<std::unique_ptr<Connection>> accept_one(std::chrono::milliseconds timeout) override {
        auto ready = wait_for(socket_.get(), false, timeout);
        if (!ready) return std::unexpected(ready.error());
        if (!*ready) return std::unique_ptr<Connection>();
        // The accepted socket takes the listener's non-blocking mode; it is
        // made non-inheritable on its own, as the flag of WSASocketW is not
        // documented to carry over.
        UniqueSocket accepted(accept(socket_.get(), nullptr, nullptr));
        if (!accepted) {
            if (would_block() || WSAGetLastError() == WSAECONNRESET) {
                return std::unique_ptr<Connection>();
            }
            return socket_error("accept");
        }
        SetHandleInformation(reinterpret_cast<HANDLE>(accepted.get()), HANDLE_FLAG_INHERIT, 0);
        u_long non_blocking = 1;
        if (ioctlsocket(accepted.get(), non_blocking_mode, &non_blocking) == SOCKET_ERROR) {
            return socket_error("ioctlsocket");
        }
        return std::unique_ptr<Connection>(std::make_unique<WinConnection>(std::move(accepted)));
    }

  private:
    UniqueSocket socket_;
    std::uint16_t port_;
};

}  // namespace

Result<std::unique_ptr<Listener>> listen_exclusive() {
    if (auto started = start_winsock(); !started) return std::unexpected(started.error());
    UniqueSocket s(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    if (!s) return socket_error("socket");
    // No other program may bind the port beside us and take the helper's call.
    const BOOL exclusive = TRUE;
    if (setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) == SOCKET_ERROR) {
        return socket_error("SO_EXCLUSIVEADDRUSE");
    }
    u_long non_blocking = 1;
    if (ioctlsocket(s.get(), non_blocking_mode, &non_blocking) == SOCKET_ERROR) {
        return socket_error("ioctlsocket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        return socket_error("bind");
    }
    if (listen(s.get(), SOMAXCONN) == SOCKET_ERROR) return socket_error("listen");
    if (getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR) {
        return socket_error("getsockname");
    }
    return std::unique_ptr<Listener>(
        std::make_unique<WinListener>(std::move(s), ntohs(address.sin_port)));
}

}  // namespace vth::client

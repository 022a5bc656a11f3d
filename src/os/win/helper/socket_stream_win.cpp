// Windows sockets. Sockets are made overlapped, as socket() makes them,
// because SO_SNDTIMEO only works on those, and never inheritable.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <mutex>

#include "helper/socket_stream.hpp"
#include "os/win/common/owned.hpp"
#include "os/win/common/system_message.hpp"

namespace vth {
namespace {

using UniqueSocket = win::Owned<SOCKET, closesocket, INVALID_SOCKET>;

constexpr DWORD socket_flags = WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT;

std::unexpected<Error> last_socket_error() {
    return std::unexpected(win::system_error(static_cast<DWORD>(WSAGetLastError())));
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

Result<void> set_option(SOCKET s, int level, int name, const void* value, int size) {
    if (setsockopt(s, level, name, static_cast<const char*>(value), size) == SOCKET_ERROR) {
        return last_socket_error();
    }
    return {};
}

class WinSocketStream final : public SocketStream {
  public:
    explicit WinSocketStream(UniqueSocket socket) : socket_(std::move(socket)) {}

    Result<std::size_t> read(std::span<char> buffer) override {
        const int n = recv(socket_.get(), buffer.data(), clamp_length(buffer.size()), 0);
        if (n == SOCKET_ERROR) return last_socket_error();
        return static_cast<std::size_t>(n);
    }

    Result<std::size_t> write(std::span<const char> data) override {
        const int n = send(socket_.get(), data.data(),
                           clamp_length(std::min(data.size(), max_write_piece)), 0);
        if (n == SOCKET_ERROR) return last_socket_error();
        return static_cast<std::size_t>(n);
    }

    Result<void> set_no_delay() override {
        const BOOL on = TRUE;
        return set_option(socket_.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    Result<bool> no_delay() const override {
        BOOL on = FALSE;
        int size = sizeof on;
        if (getsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
                       &size) == SOCKET_ERROR) {
            return last_socket_error();
        }
        return on != FALSE;
    }

    Result<void> set_write_timeout(std::chrono::milliseconds timeout) override {
        // 0 would mean "never"; the shortest real timeout is 1 ms.
        const auto ms = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, MAXDWORD);
        const auto value = static_cast<DWORD>(ms);
        return set_option(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
    }

    Result<std::unique_ptr<SocketStream>> duplicate() override {
        WSAPROTOCOL_INFOW info{};
        if (WSADuplicateSocketW(socket_.get(), GetCurrentProcessId(), &info) == SOCKET_ERROR) {
            return last_socket_error();
        }
        UniqueSocket copy(WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO,
                                     &info, 0, socket_flags));
        if (!copy) return last_socket_error();
        return std::make_unique<WinSocketStream>(std::move(copy));
    }

    Result<void> shut_down_write() override {
        if (shutdown(socket_.get(), SD_SEND) == SOCKET_ERROR) return last_socket_error();
        return {};
    }

  private:
    UniqueSocket socket_;
};

class WinListener final : public SocketListener {
  public:
    WinListener(UniqueSocket socket, std::uint16_t port)
        : socket_(std::move(socket)), port_(port) {}

    std::uint16_t port() const override { return port_; }

    Result<std::unique_ptr<SocketStream>> accept(std::chrono::milliseconds timeout) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_.get(), &readable);
        const auto ms = std::max<std::chrono::milliseconds::rep>(timeout.count(), 0);
        timeval wait{};
        wait.tv_sec = static_cast<long>(
            std::min<std::chrono::milliseconds::rep>(ms / 1000, std::numeric_limits<long>::max()));
        wait.tv_usec = static_cast<long>((ms % 1000) * 1000);
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) return last_socket_error();
        if (ready == 0) return std::unexpected(win::system_error(WSAETIMEDOUT));
        UniqueSocket connection(::accept(socket_.get(), nullptr, nullptr));
        if (!connection) return last_socket_error();
        return std::make_unique<WinSocketStream>(std::move(connection));
    }

  private:
    UniqueSocket socket_;
    std::uint16_t port_;
};

}  // namespace

Result<std::unique_ptr<SocketStream>> connect_tcp(const std::string& host, std::uint16_t port) {
    if (auto started = start_winsock(); !started) return std::unexpected(started.error());
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        return std::unexpected(win::system_error(static_cast<DWORD>(rc)));
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    Error last{};
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        UniqueSocket s(
            WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, socket_flags));
        if (!s) {
            last = win::system_error(static_cast<DWORD>(WSAGetLastError()));
            continue;
        }
        if (connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) != SOCKET_ERROR) {
            return std::make_unique<WinSocketStream>(std::move(s));
        }
        last = win::system_error(static_cast<DWORD>(WSAGetLastError()));
    }
    return std::unexpected(last);
}

Result<std::unique_ptr<SocketListener>> listen_loopback(std::uint16_t port) {
    if (auto started = start_winsock(); !started) return std::unexpected(started.error());
    UniqueSocket s(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, socket_flags));
    if (!s) return last_socket_error();
    // Nobody else may bind the same port while we listen on it.
    const BOOL exclusive = TRUE;
    if (auto set =
            set_option(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, &exclusive, sizeof exclusive);
        !set) {
        return std::unexpected(set.error());
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        SOCKET_ERROR) {
        return last_socket_error();
    }
    if (listen(s.get(), SOMAXCONN) == SOCKET_ERROR) return last_socket_error();
    int size = sizeof address;
    if (getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &size) == SOCKET_ERROR) {
        return last_socket_error();
    }
    return std::make_unique<WinListener>(std::move(s), ntohs(address.sin_port));
}

bool is_timeout(const Error& error) {
    return error.os_code == WSAETIMEDOUT;
}

}  // namespace vth

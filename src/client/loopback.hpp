#pragma once
// The GUI's end of the helper connection: a listening socket on 127.0.0.1
// that no other program can take over and no child inherits, and the
// connections it accepts. Windows sockets on Windows, POSIX sockets natively.
// Sockets are non-blocking; every wait has a timeout, so no thread stays
// blocked once the client stops. One thread reads a connection and one
// writes it; shut_down may come from any thread.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/error.hpp"

namespace vth::client {

class Connection {
  public:
    virtual ~Connection() = default;
    // Bytes placed at the start of buffer, 0 at the end of the stream, or
    // nothing when none arrived within timeout.
    virtual Result<std::optional<std::size_t>> read(std::span<char> buffer,
                                                    std::chrono::milliseconds timeout) = 0;
    // Every byte of data, or the failure; waits for room in slices and gives
    // up as soon as abandon() says so (checked between slices) or no byte
    // moved for stall_limit.
    virtual Result<void> write_all(std::string_view data, std::chrono::milliseconds stall_limit,
                                   const std::function<bool()>& abandon) = 0;
    // Ends our sending direction: the peer reads the end of the stream after
    // the bytes sent so far, and reading here goes on. The writing thread.
    virtual void finish_sending() noexcept = 0;
    // Ends both directions: the peer reads the end of the stream, and reads
    // and writes here fail from now on.
    virtual void shut_down() noexcept = 0;
};

class Listener {
  public:
    virtual ~Listener() = default;
    virtual std::uint16_t port() const = 0;
    // One connection, or nothing when none came within timeout.
    virtual Result<std::unique_ptr<Connection>> accept_one(std::chrono::milliseconds timeout) = 0;
};

// 127.0.0.1, a port the system picks, exclusive (Windows: SO_EXCLUSIVEADDRUSE)
// and never inherited by a child.
Result<std::unique_ptr<Listener>> listen_exclusive();

}  // namespace vth::client

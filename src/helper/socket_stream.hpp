#pragma once
// TCP streams to the GUI on the loopback interface. Windows sockets on
// Windows, POSIX sockets in the native build. Each stream owns its socket
// handle and closes it on destruction; one thread reads a stream and one
// thread writes it. Errors carry the system's text in the form
// "<message> (os error N)" and the code in Error::os_code.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"

namespace vth {

// The most one write hands to the system. Windows applies the write timeout
// to a whole send call, so a long message to a GUI that reads slowly but
// steadily goes out in pieces, each of which must move within the timeout:
// the timeout then means "no progress for that long", as it does elsewhere.
inline constexpr std::size_t max_write_piece = std::size_t{64} * 1024;

class SocketStream : public ByteSource, public ByteSink {
  public:
    // Disables Nagle's algorithm.
    virtual Result<void> set_no_delay() = 0;
    // Whether Nagle's algorithm is off, as the system reports it.
    virtual Result<bool> no_delay() const = 0;
    // A write whose piece (at most max_write_piece bytes) cannot move within
    // timeout fails with the system's error.
    virtual Result<void> set_write_timeout(std::chrono::milliseconds timeout) = 0;
    // A second stream on the same connection with its own socket handle, for
    // another thread; closing one leaves the other open.
    virtual Result<std::unique_ptr<SocketStream>> duplicate() = 0;
    // Ends the sending direction of the whole connection, every handle on it:
    // the other side reads the end of the stream after the bytes sent so far,
    // and reading here goes on.
    virtual Result<void> shut_down_write() = 0;
};

// True for the error of an accept that saw no connection in time and of a
// write that timed out.
bool is_timeout(const Error& error);

// A blocking connect with no timeout of our own.
Result<std::unique_ptr<SocketStream>> connect_tcp(const std::string& host, std::uint16_t port);

// A listening socket on 127.0.0.1, for the test GUI and the reference peer.
class SocketListener {
  public:
    virtual ~SocketListener() = default;
    virtual std::uint16_t port() const = 0;
    // Waits up to timeout for one connection.
    virtual Result<std::unique_ptr<SocketStream>> accept(std::chrono::milliseconds timeout) = 0;
};

// Port 0 picks a free port.
Result<std::unique_ptr<SocketListener>> listen_loopback(std::uint16_t port = 0);

}  // namespace vth

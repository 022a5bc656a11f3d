#pragma once
// The connection to the GUI as the portable code sees it. The Windows socket
// implements both sides; tests use fakes. A source is read by one thread and
// a sink written by one thread; the two may be different threads.
#include <cstddef>
#include <span>

#include "common/error.hpp"
#include "common/os.hpp"

namespace vth {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Bytes placed at the start of buffer; 0 only at the end of the stream.
    virtual Result<std::size_t> read(std::span<char> buffer) = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Bytes taken from the start of data, possibly fewer than offered.
    virtual Result<std::size_t> write(std::span<const char> data) = 0;
};

// A call interrupted before it transferred anything is simply made again.
inline bool is_interrupted(const Error& error) {
    return error.os_code == os::interrupted_os_code();
}

}  // namespace vth

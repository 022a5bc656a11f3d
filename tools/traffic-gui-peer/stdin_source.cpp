#include "stdin_source.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vth::peer {

StdinSource::StdinSource() {
#ifdef _WIN32
    _setmode(0, _O_BINARY);
#endif
}

Result<std::size_t> StdinSource::read(std::span<char> buffer) {
#ifdef _WIN32
    const int n = _read(0, buffer.data(),
                        static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX)));
#else
    const ssize_t n = ::read(0, buffer.data(), buffer.size());
#endif
    if (n < 0) return fail(os_error_text(std::strerror(errno), errno), errno);
    return static_cast<std::size_t>(n);
}

}  // namespace vth::peer

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "random_bytes.hpp"

namespace vth::peer {

Result<void> fill_random(std::span<std::uint8_t> bytes) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(os_error_text(std::strerror(errno), errno), errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            ::close(fd);
            return fail(os_error_text(std::strerror(code), code), code);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return {};
}

}  // namespace vth::peer

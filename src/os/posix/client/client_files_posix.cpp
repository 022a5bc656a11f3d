#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "client/client_files.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;

Error errno_error(const std::string& what, int code) {
    return Error{what + ": " + os_error_text(std::strerror(code), code), code};
}

// Closes on every path.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

Result<void> write_whole(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::unexpected(errno_error(path, n < 0 ? errno : EIO));
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Result<std::string> read_rest(int fd, const std::string& path, std::size_t limit) {
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::unexpected(errno_error(path, errno));
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > limit) text.erase(0, text.size() - limit);
    }
}

}  // namespace

Result<void> fill_random(std::span<std::uint8_t> bytes) {
    const Fd fd(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::unexpected(errno_error("/dev/urandom", errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::unexpected(errno_error("/dev/urandom", n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
    return {};
}

bool is_absolute_path(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

Result<void> write_file_replacing(const std::string& path, std::string_view bytes) {
    std::array<std::uint8_t, 8> salt{};
    (void)fill_random(salt);
    std::string temporary = path + ".";
    for (auto b : salt) temporary += static_cast<char>('a' + (b % 26));
    {
        const Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() < 0) return std::unexpected(errno_error(temporary, errno));
        if (auto written = write_whole(fd.get(), bytes, temporary); !written) {
            ::unlink(temporary.c_str());
            return written;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return std::unexpected(errno_error(path, code));
    }
    return {};
}

Result<void> remove_file(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
    return std::unexpected(errno_error(path, errno));
}

Result<void> rename_file(const std::string& from, const std::string& to) {
    // Never over a file another drain left: that one is handed out first.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    return std::unexpected(errno_error(from, errno));
}

bool is_missing(long os_code) {
    return os_code == ENOENT;
}

Result<std::string> read_when_unwritten(const std::string& path,
                                        std::chrono::milliseconds timeout) {
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::unexpected(errno_error(path, errno));
    // A read lease is refused while anybody holds the file open for writing.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) break;
        if (errno != EAGAIN) {
            // No leases here (another user's file, a file system without
            // them): the helper writes each entry in one call, so a short
            // pause lets one in flight finish.
            std::this_thread::sleep_for(100ms);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return fail(path + ": still open for writing after " + std::to_string(timeout.count()) +
                        " ms");
        }
        std::this_thread::sleep_for(10ms);
    }
    auto text = read_rest(fd.get(), path, std::string::npos);
    ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
    return text;
}

std::uint64_t file_size(const std::string& path) {
    struct stat status{};
    if (::stat(path.c_str(), &status) != 0) return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

Result<std::string> read_file_from(const std::string& path, std::uint64_t offset,
                                   std::size_t max_bytes) {
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::unexpected(errno_error(path, errno));
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0) return std::unexpected(errno_error(path, errno));
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (offset > size) offset = 0;  // a log started anew
    const std::uint64_t from =
        std::max<std::uint64_t>(offset, size > max_bytes ? size - max_bytes : 0);
    if (::lseek(fd.get(), static_cast<off_t>(from), SEEK_SET) < 0) {
        return std::unexpected(errno_error(path, errno));
    }
    return read_rest(fd.get(), path, max_bytes);
}

}  // namespace vth::client

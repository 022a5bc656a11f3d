// Native Linux stand-ins, so start-up, the log and the inbox files run under
// the sanitizers without Wine.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "common/os.hpp"

namespace vth::os {

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

Result<std::string> read_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(os_error_text(std::strerror(errno), errno), errno);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int code = errno;
            ::close(fd);
            return fail(os_error_text(std::strerror(code), code), code);
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool is_not_found(long os_code) {
    return os_code == ENOENT || os_code == ENOTDIR;
}

// Linux has no locks that make a read fail.
bool is_locked(long) {
    return false;
}

long interrupted_os_code() noexcept {
    return EINTR;
}

void create_directories(const std::string& dir) noexcept {
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
}

namespace {

bool write_all(int fd, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool append_to_file(const std::string& path, std::string_view bytes) noexcept {
    Fd file{::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)};
    return file.fd >= 0 && write_all(file.fd, bytes);
}

namespace {

bool is_plain_name(std::string_view name) noexcept {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Where the system says the open descriptor is, as Windows' final path by
// handle does; nothing when it cannot say.
std::optional<std::string> final_path(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string path(4096, '\0');
    const ssize_t n = ::readlink(link.c_str(), path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::nullopt;
    path.resize(static_cast<std::size_t>(n));
    return path;
}

bool lies_elsewhere(int folder, int file, const std::string& name) noexcept {
    try {
        auto folder_path = final_path(folder);
        auto file_path = final_path(file);
        return !folder_path || !file_path || *file_path != join_path(*folder_path, name);
    } catch (...) {
        return true;
    }
}

}  // namespace

// A symbolic link stands for a reparse point here. The folder is held open
// and the file opened relative to it, so a swap of either path in between
// changes nothing; O_NOFOLLOW keeps a link at either from being followed.
bool append_to_file_unfollowed(const std::string& dir, std::string_view name,
                               std::string_view bytes,
                               const std::function<bool(const AppendTarget&)>& may_write) noexcept {
    if (!is_plain_name(name)) return false;
    std::string file_name;
    try {
        file_name = name;
    } catch (...) {
        return false;
    }
    AppendTarget target;
    Fd folder{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (folder.fd < 0) {
        // Only to say why: nothing was opened, so nothing is written whatever
        // this finds.
        struct stat link{};
        if ((errno == ELOOP || errno == ENOTDIR) && ::lstat(dir.c_str(), &link) == 0 &&
            S_ISLNK(link.st_mode)) {
            target.directory_is_reparse_point = true;
            may_write(target);
        }
        return false;
    }
    // O_NONBLOCK: a FIFO planted under the name fails at once instead of
    // waiting for a reader; it changes nothing for a regular file.
    Fd file{::openat(folder.fd, file_name.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644)};
    if (file.fd < 0 && errno == ELOOP) {
        target.file_is_reparse_point = true;
        may_write(target);
        return false;
    }
    if (file.fd < 0) return false;
    struct stat info{};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    target.file_has_other_names = info.st_nlink > 1;
    target.file_outside_directory = lies_elsewhere(folder.fd, file.fd, file_name);
    if (!may_write(target)) return false;
    return write_all(file.fd, bytes);
}

std::uint64_t system_time_as_file_time() noexcept {
    // 1601-01-01 to 1970-01-01 in 100 ns intervals.
    constexpr std::uint64_t epoch_offset = 116444736000000000ULL;
    auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100;
    return epoch_offset + static_cast<std::uint64_t>(ticks);
}

void sleep_for(std::chrono::milliseconds duration) noexcept {
    std::this_thread::sleep_for(duration);
}

std::uint32_t process_id() noexcept {
    return static_cast<std::uint32_t>(::getpid());
}

// Present only in builds with the leak checker, which a normal exit runs.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" void __lsan_do_leak_check() __attribute__((weak));

void end_process(int code) noexcept {
    std::fflush(nullptr);
    // _exit skips the exit handlers, so the leak check they would run is run here.
    if (__lsan_do_leak_check != nullptr) __lsan_do_leak_check();
    ::_exit(code);
}

struct Thread::Native {
    std::thread thread;
    // Raised by the thread as its body returns.
    std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);
    ~Native() {
        if (thread.joinable()) thread.detach();
    }
};

Thread::Thread() noexcept = default;
Thread::Thread(std::unique_ptr<Native> native) noexcept : native_(std::move(native)) {}
Thread::Thread(Thread&&) noexcept = default;
Thread& Thread::operator=(Thread&&) noexcept = default;
Thread::~Thread() = default;

void Thread::join() noexcept {
    if (!native_) return;
    try {
        native_->thread.join();
    } catch (const std::system_error&) {
        // Only a deadlock on itself; the thread is left detached.
    }
    native_.reset();
}

bool Thread::join_for(std::chrono::milliseconds limit) noexcept {
    if (!native_) return true;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!native_->ended->load() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!native_->ended->load()) {
        native_.reset();  // detaches
        return false;
    }
    join();
    return true;
}

void Thread::detach() noexcept {
    native_.reset();
}

Result<Thread> start_thread(const std::string& name, std::move_only_function<void()> body) {
    try {
        auto native = std::make_unique<Thread::Native>();
        native->thread = std::thread(
            [name = name.substr(0, 15), body = std::move(body), ended = native->ended]() mutable {
                pthread_setname_np(pthread_self(), name.c_str());
                body();
                ended->store(true);
            });
        return Thread(std::move(native));
    } catch (const std::system_error& e) {
        return fail(os_error_text(e.code().message(), e.code().value()), e.code().value());
    }
}

}  // namespace vth::os

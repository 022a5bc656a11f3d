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

// A symbolic link stands for a reparse point here; the file is opened
// relative to the folder held open, so neither can be swapped in between.
bool append_to_file_unfollowed(const std::string& dir, std::string_view name,
                               std::string_view bytes,
                               const std::function<bool(const AppendTarget&)>& may_write) noexcept {
    Fd folder{::open(dir.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)};
    if (folder.fd < 0) return false;
    struct stat info{};
    if (::fstat(folder.fd, &info) != 0) return false;
    AppendTarget target;
    target.directory_is_reparse_point = S_ISLNK(info.st_mode);
    if (target.directory_is_reparse_point && !may_write(target)) return false;
    std::string file_name;
    try {
        file_name = name;
    } catch (...) {
        return false;
    }
    Fd file{::openat(folder.fd, file_name.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644)};
    if (file.fd < 0 && errno == ELOOP) {
        target.file_is_reparse_point = true;
        may_write(target);
        return false;
    }
    if (file.fd < 0) return false;
    struct stat names{};
    target.file_has_other_names = ::fstat(file.fd, &names) != 0 || names.st_nlink > 1;
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

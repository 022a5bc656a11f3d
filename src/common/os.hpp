#pragma once
// The few operating-system services the portable code needs, with one
// implementation for Windows (src/os/win) and one for native Linux builds
// (src/os/posix). Paths and texts are UTF-8 on both sides.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth::os {

// The variable's value, or nothing when it is not set.
std::optional<std::string> env(const char* name);

// dir joined with name by the platform's separator.
std::string join_path(std::string_view dir, std::string_view name);

// The whole file; on failure Error::os_code is the system's error code.
Result<std::string> read_file(const std::string& path);

// True for the codes that mean "not there (yet)": file or path not found and
// their relatives (invalid drive, bad network path or name).
bool is_not_found(long os_code);

// True for the codes that mean another program holds the file: open without
// the sharing asked for, or a byte range locked (Windows only).
bool is_locked(long os_code);

// The code of a call interrupted before it transferred anything (WSAEINTR
// for Windows sockets, EINTR elsewhere).
long interrupted_os_code() noexcept;

// Creates dir and any missing parents; every error is ignored.
void create_directories(const std::string& dir) noexcept;

// Opens path for appending (created when missing, never truncated, shared for
// read, write and delete), writes bytes, closes. False when anything failed.
bool append_to_file(const std::string& path, std::string_view bytes) noexcept;

// What the system found when a file was opened in a directory without
// following links, each read from the opened objects themselves.
struct AppendTarget {
    bool directory_is_reparse_point = false;
    bool file_is_reparse_point = false;
    // More than one name: another name, made where the user may write, can
    // stand for a file only an elevated process may write.
    bool file_has_other_names = false;
    // Where the system says the opened file is, is not the name asked for in
    // the folder held open.
    bool file_outside_directory = false;
};

// Like append_to_file for the file name (one path component) in dir, for a
// writer whose files must not be sent elsewhere by links or swaps. dir is
// opened without following a link at its last component and held open (on
// Windows it cannot be renamed or deleted meanwhile); the file is opened
// relative to that handle, never by its full path, nor through a link. What
// was found goes to may_write, and bytes are written only when it agrees.
// A folder that is a reparse point is reported before anything is created in
// it and never written into; a file that is one is opened as itself and never
// followed. False when refused or when anything failed.
bool append_to_file_unfollowed(const std::string& dir, std::string_view name,
                               std::string_view bytes,
                               const std::function<bool(const AppendTarget&)>& may_write) noexcept;

// The wall-clock time as a Windows file time: 100 ns intervals since 1601-01-01 UTC.
std::uint64_t system_time_as_file_time() noexcept;

// A high-resolution relative wait.
void sleep_for(std::chrono::milliseconds duration) noexcept;

std::uint32_t process_id() noexcept;

// Ends the process with code at once: C streams flushed, then no static
// destructor and no exit handler runs, so a thread that still runs (the
// detached command reader) never meets an object being torn down.
[[noreturn]] void end_process(int code) noexcept;

// A started thread. join waits for its end; detach lets it run on alone. One
// neither joined nor detached is detached when its Thread is destroyed.
// Move-only; used by one thread at a time.
class Thread {
  public:
    struct Native;  // the platform's handle

    Thread() noexcept;
    explicit Thread(std::unique_ptr<Native> native) noexcept;
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread();

    bool joinable() const noexcept { return native_ != nullptr; }
    void join() noexcept;
    // Waits at most limit for the thread's end. True when it ended (as after
    // join); false when it still runs, and then it runs on detached.
    bool join_for(std::chrono::milliseconds limit) noexcept;
    void detach() noexcept;

  private:
    std::unique_ptr<Native> native_;
};

// Starts body on a new thread that carries name where the system shows
// thread names (Linux keeps the first 15 bytes). Fails with the system's
// error, "<message> (os error N)", when no thread can be started; body must
// not throw.
Result<Thread> start_thread(const std::string& name, std::move_only_function<void()> body);

}  // namespace vth::os

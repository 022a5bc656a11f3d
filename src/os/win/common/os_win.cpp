#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/os.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/sdk_gaps.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"
#include "os/win/common/write_all.hpp"

namespace vth::os {

std::optional<std::string> env(const char* name) {
    std::wstring wname = win::to_wide(name);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    SetLastError(ERROR_SUCCESS);  // an empty value also reads as 0 characters
    DWORD written = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    if (written == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    value.resize(written);
    return win::to_utf8(value);
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += name;
    return path;
}

Result<std::string> read_file(const std::string& path) {
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    win::UniqueHandle file =
        win::own_file(CreateFileW(win::to_wide(path).c_str(), GENERIC_READ, share, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::unexpected(win::last_error());
    std::string bytes;
    std::vector<char> buffer(65536);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr)) {
            return std::unexpected(win::last_error());
        }
        if (got == 0) break;
        bytes.append(buffer.data(), got);
    }
    return bytes;
}

bool is_not_found(long os_code) {
    switch (os_code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return true;
        default:
            return false;
    }
}

bool is_locked(long os_code) {
    // Held for a moment by another program: a GUI writing it without read
    // sharing, an antivirus or backup tool reading it.
    return os_code == ERROR_SHARING_VIOLATION || os_code == ERROR_LOCK_VIOLATION;
}

long interrupted_os_code() noexcept {
    return WSAEINTR;
}

void create_directories(const std::string& dir) noexcept {
    try {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(win::to_wide(dir)), ignored);
    } catch (...) {
        // Every error is ignored, out of memory included.
    }
}

}  // namespace vth::os

namespace vth::win {

bool write_all(HANDLE file, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        DWORD written = 0;
        DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace vth::win

namespace vth::os {

bool append_to_file(const std::string& path, std::string_view bytes) noexcept {
    // Shared for read, write and delete: the client may read, rename or delete
    // the file while a line is being written.
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    std::wstring wide_path;
    try {
        wide_path = win::to_wide(path);
    } catch (...) {
        return false;
    }
    win::UniqueHandle file =
        win::own_file(CreateFileW(wide_path.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return win::write_all(file.get(), bytes);
}

std::uint64_t system_time_as_file_time() noexcept {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

namespace {

// The calling thread's high-resolution timer, made at its first sleep; null
// when the system cannot make one. A thread that start_thread starts closes it
// when it ends (run_thread); any other thread keeps it until the process ends.
// Making a kernel timer per sleep cost a system call pair every 8 ms on each
// polling thread. No thread_local owner: MinGW-w64 builds run thread_local
// destructors unreliably (two in one thread crash its exit).
thread_local HANDLE thread_timer = nullptr;
thread_local bool thread_timer_made = false;

HANDLE make_high_resolution_timer() noexcept {
    return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                  TIMER_ALL_ACCESS);
}

HANDLE timer_of_this_thread() noexcept {
    if (!std::exchange(thread_timer_made, true)) thread_timer = make_high_resolution_timer();
    return thread_timer;
}

// Closes, at the end of the thread that runs it, the timer that thread made.
struct CloseThreadTimerAtEnd {
    CloseThreadTimerAtEnd() = default;
    CloseThreadTimerAtEnd(const CloseThreadTimerAtEnd&) = delete;
    CloseThreadTimerAtEnd& operator=(const CloseThreadTimerAtEnd&) = delete;
    ~CloseThreadTimerAtEnd() { const win::UniqueHandle made(std::exchange(thread_timer, nullptr)); }
};

bool wait_on_timer(HANDLE timer, std::chrono::milliseconds duration) noexcept {
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10000;  // relative, 100 ns
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
           WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
}

}  // namespace

void sleep_for(std::chrono::milliseconds duration) noexcept {
    using Clock = std::chrono::steady_clock;
    if (HANDLE timer = timer_of_this_thread(); timer != nullptr && wait_on_timer(timer, duration)) {
        return;
    }
    // No high-resolution timer here: 1 ms sleeps until the time has passed.
    auto until = Clock::now() + duration;
    while (Clock::now() < until) Sleep(1);
}

std::uint32_t process_id() noexcept {
    return GetCurrentProcessId();
}

void end_process(int code) noexcept {
    std::fflush(nullptr);
    // Other threads end where they stand; the C runtime's exit handlers and
    // static destructors do not run.
    ExitProcess(static_cast<UINT>(code));
}

namespace {

// Not in the MinGW headers; Windows 10 1607 and Wine have it in kernel32.
using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

void name_this_thread(const std::string& name) noexcept {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    auto set = reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    if (set != nullptr) set(GetCurrentThread(), win::to_wide(name).c_str());
}

}  // namespace

struct Thread::Native {
    win::UniqueHandle handle;
};

Thread::Thread() noexcept = default;
Thread::Thread(std::unique_ptr<Native> native) noexcept : native_(std::move(native)) {}
Thread::Thread(Thread&&) noexcept = default;
Thread& Thread::operator=(Thread&&) noexcept = default;
Thread::~Thread() = default;

void Thread::join() noexcept {
    if (!native_) return;
    WaitForSingleObject(native_->handle.get(), INFINITE);
    native_.reset();
}

bool Thread::join_for(std::chrono::milliseconds limit) noexcept {
    if (!native_) return true;
    const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(limit.count(), 0, INFINITE - 1));
    const bool ended = WaitForSingleObject(native_->handle.get(), ms) == WAIT_OBJECT_0;
    native_.reset();
    return ended;
}

void Thread::detach() noexcept {
    native_.reset();
}

namespace {

struct ThreadStart {
    std::string name;
    std::move_only_function<void()> body;
};

DWORD WINAPI run_thread(void* parameter) noexcept {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const CloseThreadTimerAtEnd close_timer;
    try {
        name_this_thread(start->name);
        start->body();
    } catch (...) {
        // Nothing may leave a thread.
    }
    return 0;
}

}  // namespace

// CreateThread rather than std::thread, whose failure reaches us only as an
// errno value from the threads library: the system's own error is wanted.
Result<Thread> start_thread(const std::string& name, std::move_only_function<void()> body) {
    std::unique_ptr<ThreadStart> start;
    std::unique_ptr<Thread::Native> native;
    try {
        start = std::make_unique<ThreadStart>(name, std::move(body));
        native = std::make_unique<Thread::Native>();
    } catch (const std::bad_alloc&) {
        return std::unexpected(win::system_error(ERROR_NOT_ENOUGH_MEMORY));
    }
    native->handle.reset(CreateThread(nullptr, 0, run_thread, start.get(), 0, nullptr));
    if (!native->handle) return std::unexpected(win::system_error(GetLastError()));
    start.release();  // the thread owns it now
    return Thread(std::move(native));
}

}  // namespace vth::os

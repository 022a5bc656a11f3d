#include <windows.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "common/os.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/sdk_gaps.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"

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

namespace {

bool write_all(HANDLE file, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        DWORD written = 0;
        DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

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
    return write_all(file.get(), bytes);
}

namespace {

// Asked of the opened object itself, so nothing can swap the path between
// the check and the write; and of the path as well, where some file system
// drivers report a link that the opened object does not show. An object
// whose attributes cannot be read counts as a reparse point: the write is
// refused rather than risked.
bool is_reparse_point(HANDLE object, const std::wstring& path) noexcept {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(object, FileAttributeTagInfo, &info, sizeof info)) {
        return true;
    }
    const DWORD by_path = GetFileAttributesW(path.c_str());
    return ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ||
           (by_path != INVALID_FILE_ATTRIBUTES && (by_path & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

}  // namespace

bool append_to_file_unfollowed(const std::string& dir, std::string_view name,
                               std::string_view bytes,
                               const std::function<bool(const AppendTarget&)>& may_write) noexcept {
    std::wstring wide_dir;
    std::wstring wide_path;
    try {
        wide_dir = win::to_wide(dir);
        wide_path = win::to_wide(join_path(dir, name));
    } catch (...) {
        return false;
    }
    // Not shared for delete: while it is held, the folder cannot be renamed
    // away and replaced by a link.
    win::UniqueHandle folder = win::own_file(CreateFileW(
        wide_dir.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return false;
    AppendTarget target;
    target.directory_is_reparse_point = is_reparse_point(folder.get(), wide_dir);
    // Decided before anything is created in the folder.
    if (target.directory_is_reparse_point && !may_write(target)) return false;

    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    win::UniqueHandle file = win::own_file(
        CreateFileW(wide_path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    target.file_is_reparse_point = is_reparse_point(file.get(), wide_path);
    if (!may_write(target)) return false;
    return write_all(file.get(), bytes);
}

std::uint64_t system_time_as_file_time() noexcept {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void sleep_for(std::chrono::milliseconds duration) noexcept {
    using Clock = std::chrono::steady_clock;
    win::UniqueHandle timer(CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
    if (timer) {
        LARGE_INTEGER due{};
        due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10000;  // relative, 100 ns
        if (SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE) &&
            WaitForSingleObject(timer.get(), INFINITE) == WAIT_OBJECT_0) {
            return;
        }
    }
    // No high-resolution timer here: 1 ms sleeps until the time has passed.
    auto until = Clock::now() + duration;
    while (Clock::now() < until) Sleep(1);
}

std::uint32_t process_id() noexcept {
    return GetCurrentProcessId();
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

Result<std::thread> start_thread(const std::string& name, std::move_only_function<void()> body) {
    try {
        return std::thread([name, body = std::move(body)]() mutable {
            name_this_thread(name);
            body();
        });
    } catch (const std::system_error& e) {
        return fail(os_error_text(e.code().message(), e.code().value()), e.code().value());
    }
}

}  // namespace vth::os

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <thread>

#include "client/client_files.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;

// A virus scanner or indexer may hold a new file for a moment.
constexpr auto busy_retry = 1000ms;

std::unexpected<Error> failure(const std::string& path, DWORD code) {
    const Error error = win::system_error(code);
    return std::unexpected(Error{path + ": " + error.text, error.os_code});
}

bool busy(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED;  // also a file whose deletion is pending
}

// Repeats a call that the file being busy made fail, for a short while.
template <typename Call>
bool retry_busy(Call call, DWORD& code) {
    const auto deadline = std::chrono::steady_clock::now() + busy_retry;
    for (;;) {
        if (call()) return true;
        code = GetLastError();
        if (!busy(code) || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

Result<std::string> read_rest(HANDLE file, const std::string& path) {
    std::string text;
    std::array<char, 65536> buffer{};
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            return failure(path, GetLastError());
        }
        if (n == 0) return text;
        text.append(buffer.data(), n);
    }
}

}  // namespace

Result<void> fill_random(std::span<std::uint8_t> bytes) {
    const NTSTATUS status = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        return fail("BCryptGenRandom failed: " +
                    hresult_error_text({}, static_cast<std::uint32_t>(status)));
    }
    return {};
}

bool is_absolute_path(const std::string& path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        separator(path[2])) {
        return true;
    }
    return path.size() >= 3 && separator(path[0]) && separator(path[1]);  // \\server\share
}

Result<void> write_file_replacing(const std::string& path, std::string_view bytes) {
    std::array<std::uint8_t, 8> salt{};
    (void)fill_random(salt);
    std::string temporary = path + ".";
    for (auto b : salt) temporary += static_cast<char>('a' + (b % 26));
    const std::wstring wide_temporary = win::to_wide(temporary);
    {
        const win::UniqueHandle file =
            win::own_file(CreateFileW(wide_temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file) return failure(temporary, GetLastError());
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size()) {
            const DWORD code = GetLastError();
            DeleteFileW(wide_temporary.c_str());
            return failure(temporary, code);
        }
    }
    const std::wstring wide_path = win::to_wide(path);
    DWORD code = 0;
    if (!retry_busy(
            [&] {
                return MoveFileExW(wide_temporary.c_str(), wide_path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            },
            code)) {
        DeleteFileW(wide_temporary.c_str());
        return failure(path, code);
    }
    return {};
}

Result<void> remove_file(const std::string& path) {
    const std::wstring wide = win::to_wide(path);
    DWORD code = 0;
    if (retry_busy([&] { return DeleteFileW(wide.c_str()) != 0; }, code) ||
        is_missing(static_cast<long>(code))) {
        return {};
    }
    return failure(path, code);
}

Result<void> rename_file(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING: a file another drain left stays.
    const std::wstring wide_from = win::to_wide(from);
    const std::wstring wide_to = win::to_wide(to);
    DWORD code = 0;
    if (retry_busy([&] { return MoveFileExW(wide_from.c_str(), wide_to.c_str(), 0) != 0; }, code)) {
        return {};
    }
    return failure(from, code);
}

bool is_missing(long os_code) {
    return os_code == ERROR_FILE_NOT_FOUND || os_code == ERROR_PATH_NOT_FOUND;
}

Result<std::string> read_when_unwritten(const std::string& path,
                                        std::chrono::milliseconds timeout) {
    const std::wstring wide = win::to_wide(path);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Without FILE_SHARE_WRITE the open fails while anybody holds the
        // file open for writing, and nobody can open it so until we close it.
        const win::UniqueHandle file =
            win::own_file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return read_rest(file.get(), path);
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION || std::chrono::steady_clock::now() >= deadline) {
            return failure(path, code);
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::uint64_t file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win::to_wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Result<std::string> read_file_from(const std::string& path, std::uint64_t offset,
                                   std::size_t max_bytes) {
    const win::UniqueHandle file =
        win::own_file(CreateFileW(win::to_wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failure(path, GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failure(path, GetLastError());
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    if (offset > total) offset = 0;  // a log started anew
    const std::uint64_t from =
        std::max<std::uint64_t>(offset, total > max_bytes ? total - max_bytes : 0);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(from);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return failure(path, GetLastError());
    auto text = read_rest(file.get(), path);
    if (text && text->size() > max_bytes) text->erase(0, text->size() - max_bytes);
    return text;
}

}  // namespace vth::client

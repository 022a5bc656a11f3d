#include "os/win/common/wide.hpp"

#include <algorithm>
#include <climits>

namespace vth::win {

namespace {
// The conversion functions take int lengths, and -1 would mean "up to a NUL":
// longer texts are cut rather than read past their end.
int api_length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}
}  // namespace

std::wstring to_wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    int size = api_length(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

std::string to_utf8(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    int size = api_length(utf16.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

Error system_error(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n =
        FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = n > 0 ? to_utf8(std::wstring_view(buffer, n)) : std::string();
    if (buffer != nullptr) LocalFree(buffer);
    return Error{os_error_text(message, static_cast<long>(code)), static_cast<long>(code)};
}

}  // namespace vth::win

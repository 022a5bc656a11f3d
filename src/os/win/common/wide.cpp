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

}  // namespace vth::win

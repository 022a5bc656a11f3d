#include "os/win/common/system_message.hpp"

#include <string_view>

#include "os/win/common/owned.hpp"
#include "os/win/common/wide.hpp"

namespace vth::win {
namespace {

using LocalText = Owned<HLOCAL, LocalFree>;

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string system_message(DWORD code) {
    wchar_t* buffer = nullptr;
    constexpr DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n =
        FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    LocalText owned(buffer);
    if (n == 0) return {};
    return to_utf8(std::wstring_view(buffer, n));
}

Error system_error(DWORD code) {
    return Error{os_error_text(system_message(code), static_cast<long>(code)),
                 static_cast<long>(code)};
}

Error hresult_error(HRESULT hr) {
    auto code = static_cast<DWORD>(hr);
    return Error{hresult_error_text(trim(system_message(code)), code), static_cast<long>(hr)};
}

}  // namespace vth::win

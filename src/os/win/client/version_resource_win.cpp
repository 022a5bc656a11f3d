#include <windows.h>

#include <vector>

#include "client/version_resource.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"

namespace vth::client {
namespace {

std::unexpected<Error> failure(const std::string& path) {
    const Error error = win::last_error();
    return std::unexpected(Error{path + ": " + error.text, error.os_code});
}

}  // namespace

Result<HelperVersion> read_helper_version(const std::string& path) {
    const std::wstring wide = win::to_wide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return failure(path);
    std::vector<std::byte> data(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.data())) return failure(path);

    HelperVersion version;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return fail(path + ": the version resource has no fixed part");
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    version.major = HIWORD(info->dwFileVersionMS);
    version.minor = LOWORD(info->dwFileVersionMS);
    version.patch = HIWORD(info->dwFileVersionLS);
    version.build = LOWORD(info->dwFileVersionLS);

    // The build id sits in the string table of the first language listed.
    struct Translation {
        WORD language;
        WORD code_page;
    };
    void* translations = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translations, &length) ||
        length < sizeof(Translation)) {
        return fail(path + ": the version resource lists no language");
    }
    const auto* first = static_cast<const Translation*>(translations);
    wchar_t key[64];
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\BuildId", first->language, first->code_page);
    void* text = nullptr;
    if (!VerQueryValueW(data.data(), key, &text, &length) || length == 0) {
        return fail(path + ": the version resource holds no BuildId");
    }
    // length counts characters, the terminating NUL included.
    std::wstring_view id(static_cast<const wchar_t*>(text), length);
    while (!id.empty() && id.back() == L'\0') id.remove_suffix(1);
    version.build_id = win::to_utf8(id);
    return version;
}

}  // namespace vth::client

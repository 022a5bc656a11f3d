#include <windows.h>

#include <string>

#include "os/win/common/owned.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"
#include "remove_tree.hpp"

namespace vth::peer {
namespace {

using FindHandle = win::Owned<HANDLE, FindClose>;

constexpr int deepest = 64;  // beyond any folder the helper makes

bool gone(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

Result<void> removed(BOOL done, const std::wstring& path) {
    if (done || gone(GetLastError())) return {};
    const Error error = win::last_error();
    return fail("cannot remove " + win::to_utf8(path) + ": " + error.text, error.os_code);
}

// A reparse point (junction, symbolic link, mount point) goes as itself:
// RemoveDirectoryW and DeleteFileW remove the link, not its target.
Result<void> remove_entry(const std::wstring& path, DWORD attributes, int depth) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !folder) {
        return removed(folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str()), path);
    }
    if (depth > deepest) return fail("cannot remove " + win::to_utf8(path) + ": nested too deep");
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = path + L"\\*";
    HANDLE first = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                    nullptr, 0);
    // Normalised to null, as own_file does, so the owner's empty value serves.
    FindHandle search(first == INVALID_HANDLE_VALUE ? nullptr : first);
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            auto inner = remove_entry(path + L"\\" + name, found.dwFileAttributes, depth + 1);
            if (!inner) return inner;
        } while (FindNextFileW(search.get(), &found));
    }
    return removed(RemoveDirectoryW(path.c_str()), path);
}

}  // namespace

Result<void> remove_tree(const std::string& dir) {
    const std::wstring path = win::to_wide(dir);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (gone(GetLastError())) return {};
        const Error error = win::last_error();
        return fail("cannot remove " + dir + ": " + error.text, error.os_code);
    }
    return remove_entry(path, attributes, 0);
}

}  // namespace vth::peer

// Appends for an elevated writer in a folder the user's ordinary processes
// may change at any moment: every step works on handles, so no link, junction
// or swap of a name between two steps can send the bytes elsewhere.
#include <windows.h>
#include <winternl.h>

#include <optional>
#include <string>
#include <string_view>

#include "common/os.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/wide.hpp"
#include "os/win/common/write_all.hpp"

namespace vth::os {
namespace {

// One component: nothing that makes the open below leave the folder held, or
// name a stream of another file.
bool is_plain_name(std::string_view name) noexcept {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/:") == std::string_view::npos;
}

// An object whose attributes cannot be read counts as a reparse point: the
// write is refused rather than risked.
bool attributes_of(HANDLE object, DWORD& attributes) noexcept {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(object, FileAttributeTagInfo, &info, sizeof info)) {
        return false;
    }
    attributes = info.FileAttributes;
    return true;
}

// Asked of the opened object; and of the path as well, for systems that open
// a link as its target whatever the flags say and show it only by its path
// (Wine with a Unix symbolic link). The path can only add a refusal.
bool is_reparse_point(HANDLE object, const std::wstring& path, DWORD& attributes) noexcept {
    if (!attributes_of(object, attributes)) return true;
    const DWORD by_path = GetFileAttributesW(path.c_str());
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           (by_path != INVALID_FILE_ATTRIBUTES && (by_path & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

// Where the system says the opened object is, in its own device namespace:
// links, short names and letter case resolved; nothing when it cannot say.
std::optional<std::wstring> final_path(HANDLE object) noexcept {
    try {
        std::wstring path(MAX_PATH, L'\0');
        for (int attempt = 0; attempt < 3; ++attempt) {
            const DWORD n =
                GetFinalPathNameByHandleW(object, path.data(), static_cast<DWORD>(path.size()),
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_NT);
            if (n == 0) return std::nullopt;
            if (n < path.size()) {
                path.resize(n);
                return path;
            }
            path.resize(n);  // too small: n counts the terminating null as well
        }
    } catch (...) {
        // Out of memory: the place is unknown, and the write is refused.
    }
    return std::nullopt;
}

// Letter case aside, as the file system compares names.
bool same_name(std::wstring_view a, std::wstring_view b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring_view last_component(std::wstring_view path) noexcept {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.remove_suffix(1);
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

// True unless the file's final path is exactly the folder's final path and
// the name asked for.
bool lies_elsewhere(const std::wstring& folder_path, HANDLE file, const std::wstring& name) {
    const auto file_path = final_path(file);
    if (!file_path) return true;
    std::wstring meant = folder_path;
    if (meant.empty() || meant.back() != L'\\') meant += L'\\';
    meant += name;
    return !same_name(meant, *file_path);
}

using NtCreateFileFn = decltype(&NtCreateFile);

// Not in the import libraries this project links; ntdll is in every process.
NtCreateFileFn nt_create_file() noexcept {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
}

// Opens name inside folder by the handle alone: the file system looks the
// name up in that very folder, whatever its path names by now. A reparse
// point at the name is opened as itself (FILE_OPEN_REPARSE_POINT), a folder
// there is not opened at all.
win::UniqueHandle open_in_folder(HANDLE folder, std::wstring& name) noexcept {
    const NtCreateFileFn create = nt_create_file();
    if (create == nullptr || name.size() > 0x7FFF) return {};
    UNICODE_STRING object_name{};
    object_name.Buffer = name.data();
    object_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    object_name.MaximumLength = object_name.Length;
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE file = nullptr;
    // Shared for read, write and delete: the client may read, rename or delete
    // the file while a line is being written.
    constexpr ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const NTSTATUS status =
        create(&file, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io,
               nullptr, FILE_ATTRIBUTE_NORMAL, share, FILE_OPEN_IF,
               FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
               nullptr, 0);
    if (!NT_SUCCESS(status)) return {};
    return win::own_file(file);
}

}  // namespace

bool append_to_file_unfollowed(const std::string& dir, std::string_view name,
                               std::string_view bytes,
                               const std::function<bool(const AppendTarget&)>& may_write) noexcept {
    if (!is_plain_name(name)) return false;
    std::wstring wide_dir;
    std::wstring wide_name;
    std::wstring wide_path;  // for the attribute check only, never to open
    try {
        wide_dir = win::to_wide(dir);
        wide_name = win::to_wide(name);
        wide_path = win::to_wide(join_path(dir, name));
    } catch (...) {
        return false;
    }
    // Directory access, not attributes alone: Windows ignores the share mode
    // of an open that asks for no read, write or delete access, so only with
    // it does leaving out delete sharing keep anyone from renaming or deleting
    // the folder while it is held. FILE_FLAG_OPEN_REPARSE_POINT opens a
    // junction or link standing at the folder's own name as itself, to be
    // refused below; it does nothing for the components above it, which is
    // why the file is then found through this handle and not through dir.
    win::UniqueHandle folder = win::own_file(
        CreateFileW(wide_dir.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return false;
    AppendTarget target;
    DWORD folder_attributes = 0;
    // A folder reached through a link that the open followed anyway ends
    // under another name: that counts as a link too. Windows never follows
    // one here; Wine follows a Unix symbolic link whatever the flags, and as
    // it reads a handle's final path from the path again, this narrows that
    // gap there without closing it.
    const auto folder_path = final_path(folder.get());
    target.directory_is_reparse_point =
        is_reparse_point(folder.get(), wide_dir, folder_attributes) || !folder_path ||
        !same_name(last_component(*folder_path), last_component(wide_dir));
    // Decided before anything is created in the folder; a link there is never
    // written through, whatever the answer.
    if (target.directory_is_reparse_point) {
        may_write(target);
        return false;
    }
    if ((folder_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;

    win::UniqueHandle file = open_in_folder(folder.get(), wide_name);
    if (!file) return false;
    // The open followed nothing; these confirm, from the file itself, that it
    // is the plain file meant: not a link opened as itself, not a file that
    // a second name elsewhere also reaches (a hard link the user made to a
    // file only an elevated process may write), and in the held folder under
    // the name asked for.
    DWORD file_attributes = 0;
    target.file_is_reparse_point = is_reparse_point(file.get(), wide_path, file_attributes);
    FILE_STANDARD_INFO names{};
    target.file_has_other_names =
        !GetFileInformationByHandleEx(file.get(), FileStandardInfo, &names, sizeof names) ||
        names.NumberOfLinks > 1;
    try {
        target.file_outside_directory = lies_elsewhere(*folder_path, file.get(), wide_name);
    } catch (...) {
        return false;  // out of memory: the place is unknown
    }
    if (!may_write(target)) return false;
    return win::write_all(file.get(), bytes);
}

}  // namespace vth::os

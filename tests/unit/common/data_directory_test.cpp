#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <stdio.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/data_directory.hpp"
#include "support/local_app_data.hpp"

namespace vth {
namespace {

namespace fs = std::filesystem;

TEST(AppendRefusal, LinksRefusedOnlyAboveMedium) {
    struct Row {
        std::string_view integrity;
        os::AppendTarget target;
        std::optional<std::string_view> refusal;
    };
    const std::string_view folder = "the data directory is a reparse point";
    const std::string_view file = "the file is a reparse point";
    const std::string_view names = "the file has another name (a hard link)";
    const std::string_view elsewhere = "the file opened is not the one in the data directory";
    const Row rows[] = {
        {"high", {false, false, false, true}, elsewhere},
        {"medium", {false, false, false, true}, std::nullopt},
        {"medium", {true, true, true}, std::nullopt},
        {"unknown", {true, true, true}, std::nullopt},
        {"low", {false, true, false}, std::nullopt},
        {"high", {false, false, false}, std::nullopt},
        {"high", {true, false, false}, folder},
        {"high", {false, true, false}, file},
        {"high", {false, false, true}, names},
        {"system", {true, true, true}, folder},
        {"system", {false, true, false}, file},
        {"system", {false, false, true}, names},
    };
    for (const Row& row : rows) {
        const os::AppendTarget& t = row.target;
        EXPECT_EQ(append_refusal(row.integrity, t), row.refusal)
            << row.integrity << " " << t.directory_is_reparse_point << t.file_is_reparse_point
            << t.file_has_other_names << t.file_outside_directory;
    }
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A symbolic link at link to target; false where the system makes none
// (MinGW's std::filesystem has no links, and Wine 8's CreateSymbolicLinkW
// reports success without making one).
bool make_link(const fs::path& target, const fs::path& link, bool folder) {
#ifdef _WIN32
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (folder) flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) return false;
    DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    std::error_code error;
    if (folder) {
        fs::create_directory_symlink(target, link, error);
    } else {
        fs::create_symlink(target, link, error);
    }
    return !error;
#endif
}

// A junction at link to the folder target, as any user may make one on
// Windows; false elsewhere, and under Wine 8, which answers
// FSCTL_SET_REPARSE_POINT with ERROR_NOT_SUPPORTED.
bool make_junction([[maybe_unused]] const fs::path& target, [[maybe_unused]] const fs::path& link) {
#ifdef _WIN32
    // A mount point's reparse data: the substitute name \??\<target> and the
    // print name <target>, each with its null.
    struct {
        DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        WORD length = 0, reserved = 0, substitute_at = 0, substitute = 0, print_at = 0, print = 0;
        wchar_t names[600] = {};
    } data;
    const std::wstring path = fs::absolute(target).wstring();
    const std::wstring names = L"\\??\\" + path + L'\0' + path + L'\0';
    if (names.size() > std::size(data.names)) return false;
    names.copy(data.names, names.size());
    data.substitute = static_cast<WORD>((path.size() + 4) * 2);
    data.print_at = static_cast<WORD>(data.substitute + 2);
    data.print = static_cast<WORD>(path.size() * 2);
    data.length = static_cast<WORD>(8 + names.size() * 2);
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const bool set = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &data, 8u + data.length,
                                     nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    return set;
#else
    return false;
#endif
}

// What the system reports when a link stands at the folder or the file: the
// link is opened as itself, and a refusal leaves its target untouched. Each
// row runs, or is skipped where the system makes no such link, on its own.
TEST(AppendUnfollowed, LinksAreReportedAndNeverFollowed) {
    enum class Link { none, file_to_file, file_dangling, folder_to_folder, junction, hard_link };
    struct Row {
        const char* what;
        Link link;
        os::AppendTarget seen;
    };
    const Row rows[] = {
        {"plain folder and file", Link::none, {false, false, false}},
        {"file is a hard link to another file", Link::hard_link, {false, false, true}},
        {"file is a link to another file", Link::file_to_file, {false, true, false}},
        {"file is a link to nothing yet", Link::file_dangling, {false, true, false}},
        {"folder is a link to another folder", Link::folder_to_folder, {true, false, false}},
        {"folder is a junction to another folder", Link::junction, {true, false, false}},
    };
    std::string skipped;  // rows whose link the system could not make
    for (const Row& row : rows) {
        test::LocalAppData data;
        const fs::path folder = data.file("").parent_path();
        const fs::path elsewhere = data.root() / "elsewhere";
        fs::create_directories(elsewhere);
        std::ofstream(elsewhere / "target.txt") << "kept";
        bool linked = true;
        switch (row.link) {
            case Link::none:
                fs::create_directories(folder);
                break;
            case Link::file_to_file:
                fs::create_directories(folder);
                linked = make_link(elsewhere / "target.txt", folder / "log.txt", false);
                break;
            case Link::file_dangling:
                fs::create_directories(folder);
                linked = make_link(elsewhere / "created.txt", folder / "log.txt", false);
                break;
            case Link::folder_to_folder:
                fs::create_directories(folder.parent_path());
                linked = make_link(elsewhere, folder, true);
                break;
            case Link::junction:
                fs::create_directories(folder.parent_path());
                linked = make_junction(elsewhere, folder);
                break;
            case Link::hard_link: {
                fs::create_directories(folder);
                std::error_code error;
                fs::create_hard_link(elsewhere / "target.txt", folder / "log.txt", error);
                linked = !error;
                break;
            }
        }
        if (!linked) {
            skipped += std::string(skipped.empty() ? "" : ", ") + row.what;
            continue;  // the other rows still run
        }

        std::vector<os::AppendTarget> asked;
        const bool written = os::append_to_file_unfollowed(
            folder.string(), "log.txt", "line\n", [&](const os::AppendTarget& target) {
                asked.push_back(target);
                return !append_refusal("high", target);
            });
        ASSERT_FALSE(asked.empty()) << row.what;
        EXPECT_EQ(asked.back().directory_is_reparse_point, row.seen.directory_is_reparse_point)
            << row.what;
        EXPECT_EQ(asked.back().file_is_reparse_point, row.seen.file_is_reparse_point) << row.what;
        EXPECT_EQ(asked.back().file_has_other_names, row.seen.file_has_other_names) << row.what;
        EXPECT_FALSE(asked.back().file_outside_directory) << row.what;
        EXPECT_EQ(written, row.link == Link::none) << row.what;
        EXPECT_EQ(read(elsewhere / "target.txt"), "kept") << row.what;
        EXPECT_FALSE(fs::exists(elsewhere / "created.txt")) << row.what;
        EXPECT_FALSE(fs::exists(elsewhere / "log.txt")) << row.what;
        if (row.link == Link::none) {
            EXPECT_EQ(read(folder / "log.txt"), "line\n");
        }
    }
    RecordProperty("skipped", skipped);
}

// Swaps what stands at the names a and b: one call on Linux; three renames
// on Windows, put back when the second fails.
bool exchange(const fs::path& a, const fs::path& b, const fs::path& spare) {
#ifdef _WIN32
    if (!MoveFileExW(a.c_str(), spare.c_str(), 0)) return false;  // a held folder stays
    const bool swapped = MoveFileExW(b.c_str(), a.c_str(), 0);
    for (int i = 0; i < 1000 && !MoveFileExW(spare.c_str(), (swapped ? b : a).c_str(), 0); ++i) {
        Sleep(1);  // the name is free: only a scanner holding the folder delays it
    }
    return swapped;
#else
    (void)spare;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#endif
}

// A loop swaps the folder with a link to another folder while appends go on:
// each lands in the real folder or nowhere, and each reported written is there.
TEST(AppendUnfollowed, FolderSwappedForALinkNeverRedirectsAWrite) {
    test::LocalAppData data;
    const fs::path folder = data.file("").parent_path();
    const fs::path parked = data.value() / "Vestrilon.link";
    const fs::path elsewhere = data.root() / "elsewhere";
    fs::create_directories(folder);
    fs::create_directories(elsewhere);
    const fs::path spare = data.value() / "spare";
    if (!(make_junction(elsewhere, parked) || make_link(elsewhere, parked, true)) ||
        !exchange(folder, parked, spare) || !exchange(folder, parked, spare)) {
        GTEST_SKIP() << "the system makes or swaps no link to a folder here";
    }
    std::atomic<bool> stop{false};
    int swaps = 0;
    std::thread swapper([&] {
        while (!stop || swaps % 2 != 0) swaps += exchange(folder, parked, spare) ? 1 : 0;
    });
    int written = 0;
    for (int i = 0; i < 10000; ++i) {
        written += os::append_to_file_unfollowed(
            folder.string(), "log.txt", "line\n",
            [](const os::AppendTarget& target) { return !append_refusal("high", target); });
    }
    stop = true;
    swapper.join();
    EXPECT_TRUE(fs::is_empty(elsewhere));
    const std::string text = read(folder / "log.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), written);
    EXPECT_EQ(text.size(), 5u * static_cast<unsigned>(written));
    RecordProperty("swaps", swaps);
    RecordProperty("written", written);
}

}  // namespace
}  // namespace vth

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
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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
        {"medium", {true, true, true, true}, std::nullopt},
        {"unknown", {true, true, true}, std::nullopt},
        {"high", {false, false, false, true}, elsewhere},
        {"system", {false, false, true, true}, names},
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
// Windows; false where the system makes none (everywhere but Windows, and
// Wine 8, which answers FSCTL_SET_REPARSE_POINT with ERROR_NOT_SUPPORTED).
bool make_junction(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    // A mount point's reparse data: tag, data length, reserved, then offset
    // and length of the substitute and print names, both null-terminated.
    const std::wstring print = fs::absolute(target).wstring();
    const std::wstring names = L"\\??\\" + print + L'\0' + print + L'\0';
    const auto chars = [](std::size_t n) { return static_cast<WORD>(n * sizeof(wchar_t)); };
    const WORD fields[] = {0, chars(print.size() + 4), chars(print.size() + 5),
                           chars(print.size())};
    const WORD data_length = static_cast<WORD>(sizeof fields + chars(names.size()));
    std::vector<BYTE> data(8 + data_length);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, 4);
    std::memcpy(data.data() + 4, &data_length, 2);
    std::memcpy(data.data() + 8, fields, sizeof fields);
    std::memcpy(data.data() + 8 + sizeof fields, names.data(), chars(names.size()));
    DWORD returned = 0;
    const bool set =
        DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data.data(),
                        static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return set && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    (void)target;
    (void)link;
    return false;
#endif
}

// A link to a folder that a user without administrator rights can make: a
// junction on Windows, a symbolic link elsewhere.
bool make_folder_link(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    return make_junction(target, link);
#else
    return make_link(target, link, true);
#endif
}

// Swaps what stands at the names a and b. Linux does it in one step; Windows
// has no such call, so three renames, put back when the second fails.
bool exchange(const fs::path& a, const fs::path& b, const fs::path& spare) {
#ifdef _WIN32
    if (!MoveFileExW(a.c_str(), spare.c_str(), 0)) return false;  // a held folder stays
    if (!MoveFileExW(b.c_str(), a.c_str(), 0)) {
        while (!MoveFileExW(spare.c_str(), a.c_str(), 0)) Sleep(0);
        return false;
    }
    while (!MoveFileExW(spare.c_str(), b.c_str(), 0)) Sleep(0);
    return true;
#else
    (void)spare;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#endif
}

bool refuse_any_link(const os::AppendTarget& target) {
    return !append_refusal("high", target);
}

enum class Link { none, file_to_file, file_dangling, folder_to_folder, folder_junction, hard_link };

struct LinkRow {
    const char* what;
    Link link;
    os::AppendTarget seen;
};

// What the system reports when a link stands at the folder or the file: the
// link is opened as itself, and a refusal leaves its target untouched. Each
// row runs, or is skipped where the system makes no such link, on its own.
class AppendUnfollowed : public ::testing::TestWithParam<LinkRow> {};

TEST_P(AppendUnfollowed, LinksAreReportedAndNeverFollowed) {
    const LinkRow& row = GetParam();
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
        case Link::folder_junction:
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
    if (!linked) GTEST_SKIP() << "the system made no such link here (" << row.what << ")";

    std::vector<os::AppendTarget> asked;
    const bool written = os::append_to_file_unfollowed(folder.string(), "log.txt", "line\n",
                                                       [&](const os::AppendTarget& target) {
                                                           asked.push_back(target);
                                                           return refuse_any_link(target);
                                                       });
    ASSERT_FALSE(asked.empty()) << row.what;
    EXPECT_EQ(asked.back().directory_is_reparse_point, row.seen.directory_is_reparse_point)
        << row.what;
    EXPECT_EQ(asked.back().file_is_reparse_point, row.seen.file_is_reparse_point) << row.what;
    EXPECT_EQ(asked.back().file_has_other_names, row.seen.file_has_other_names) << row.what;
    EXPECT_EQ(asked.back().file_outside_directory, row.seen.file_outside_directory) << row.what;
    EXPECT_EQ(written, row.link == Link::none) << row.what;
    EXPECT_EQ(read(elsewhere / "target.txt"), "kept") << row.what;
    EXPECT_FALSE(fs::exists(elsewhere / "created.txt")) << row.what;
    EXPECT_FALSE(fs::exists(elsewhere / "log.txt")) << row.what;
    if (row.link == Link::none) {
        EXPECT_EQ(read(folder / "log.txt"), "line\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AppendUnfollowed,
    ::testing::Values(
        LinkRow{"plain folder and file", Link::none, {false, false, false, false}},
        LinkRow{"file is a hard link to another file", Link::hard_link, {false, false, true}},
        LinkRow{"file is a link to another file", Link::file_to_file, {false, true, false}},
        LinkRow{"file is a link to nothing yet", Link::file_dangling, {false, true, false}},
        LinkRow{"folder is a link to another folder", Link::folder_to_folder, {true, false, false}},
        LinkRow{
            "folder is a junction to another folder", Link::folder_junction, {true, false, false}}),
    [](const ::testing::TestParamInfo<LinkRow>& row) {
        std::string name;
        for (const char* c = row.param.what; *c != '\0'; ++c) {
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        }
        return name;
    });

// An attacker loop swaps the folder for a link to another folder and back
// while appends go on: every append lands in the real folder or nowhere, and
// every one reported written is there.
TEST(AppendUnfollowedRace, FolderSwappedForALinkNeverRedirectsAWrite) {
    test::LocalAppData data;
    const fs::path folder = data.file("").parent_path();
    const fs::path parked = data.value() / "Vestrilon.link";
    const fs::path spare = data.value() / "Vestrilon.spare";
    const fs::path elsewhere = data.root() / "elsewhere";
    fs::create_directories(folder);
    fs::create_directories(elsewhere);
    if (!make_folder_link(elsewhere, parked) || !exchange(folder, parked, spare) ||
        !exchange(folder, parked, spare)) {
        GTEST_SKIP() << "the system makes or swaps no folder link here";
    }
    std::atomic<bool> stop{false};
    int swaps = 0;
    std::thread swapper([&] {
        while (!stop || swaps % 2 != 0) swaps += exchange(folder, parked, spare) ? 1 : 0;
    });
    constexpr int appends = 10000;
    int written = 0;
    for (int i = 0; i < appends; ++i) {
        written +=
            os::append_to_file_unfollowed(folder.string(), "log.txt", "line\n", refuse_any_link)
                ? 1
                : 0;
    }
    stop = true;
    swapper.join();
    EXPECT_TRUE(fs::is_empty(elsewhere));
    const std::string text = read(folder / "log.txt");
    EXPECT_EQ(text.size(), static_cast<std::size_t>(written) * 5);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), written);
    RecordProperty("swaps", swaps);
    RecordProperty("written", written);
}

}  // namespace
}  // namespace vth

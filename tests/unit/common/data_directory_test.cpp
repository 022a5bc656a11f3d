#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    const Row rows[] = {
        {"medium", {true, true, true}, std::nullopt}, {"unknown", {true, true, true}, std::nullopt},
        {"low", {false, true, false}, std::nullopt},  {"high", {false, false, false}, std::nullopt},
        {"high", {true, false, false}, folder},       {"high", {false, true, false}, file},
        {"high", {false, false, true}, names},        {"system", {true, true, true}, folder},
        {"system", {false, true, false}, file},       {"system", {false, false, true}, names},
    };
    for (const Row& row : rows) {
        const os::AppendTarget& t = row.target;
        EXPECT_EQ(append_refusal(row.integrity, t), row.refusal)
            << row.integrity << " " << t.directory_is_reparse_point << t.file_is_reparse_point
            << t.file_has_other_names;
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

// What the system reports when a link stands at the folder or the file: the
// link is opened as itself, and a refusal leaves its target untouched.
TEST(AppendUnfollowed, LinksAreReportedAndNeverFollowed) {
    enum class Link { none, file_to_file, file_dangling, folder_to_folder, hard_link };
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
    };
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
            case Link::hard_link: {
                fs::create_directories(folder);
                std::error_code error;
                fs::create_hard_link(elsewhere / "target.txt", folder / "log.txt", error);
                linked = !error;
                break;
            }
        }
        if (!linked) GTEST_SKIP() << "no symbolic links here (" << row.what << ")";

        std::vector<os::AppendTarget> asked;
        const bool written = os::append_to_file_unfollowed(
            folder.string(), "log.txt", "line\n", [&](const os::AppendTarget& target) {
                asked.push_back(target);
                return !target.directory_is_reparse_point && !target.file_is_reparse_point &&
                       !target.file_has_other_names;
            });
        ASSERT_FALSE(asked.empty()) << row.what;
        EXPECT_EQ(asked.back().directory_is_reparse_point, row.seen.directory_is_reparse_point)
            << row.what;
        EXPECT_EQ(asked.back().file_is_reparse_point, row.seen.file_is_reparse_point) << row.what;
        EXPECT_EQ(asked.back().file_has_other_names, row.seen.file_has_other_names) << row.what;
        EXPECT_EQ(written, row.link == Link::none) << row.what;
        EXPECT_EQ(read(elsewhere / "target.txt"), "kept") << row.what;
        EXPECT_FALSE(fs::exists(elsewhere / "created.txt")) << row.what;
        EXPECT_FALSE(fs::exists(elsewhere / "log.txt")) << row.what;
        if (row.link == Link::none) {
            EXPECT_EQ(read(folder / "log.txt"), "line\n");
        }
    }
}

}  // namespace
}  // namespace vth

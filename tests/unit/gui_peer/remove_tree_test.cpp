#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "remove_tree.hpp"

namespace vth::peer {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

void touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

TEST(RemoveTree, RemovesALinkInsideAsALinkAndKeepsWhatItPointsTo) {
    const fs::path base = fs::temp_directory_path() / fs::path(u8"vth-remove-tree-отчёт");
    fs::remove_all(base);
    const fs::path outside = base / "users-files";
    const fs::path tree = base / "localappdata";
    fs::create_directories(outside / "inner");
    touch(outside / "keep.txt");
    fs::create_directories(tree / "Vestrilon");
    touch(tree / "Vestrilon" / "traffic-helper.log");
    std::error_code error;
    fs::create_directory_symlink(outside, tree / "Vestrilon" / "planted", error);
    if (error) GTEST_SKIP() << "no directory links here: " << error.message();

    ASSERT_TRUE(remove_tree(utf8(tree)).has_value());
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(fs::exists(outside / "inner"));

    // The folder itself a link: only the link goes.
    fs::create_directory_symlink(outside, tree, error);
    ASSERT_FALSE(error) << error.message();
    ASSERT_TRUE(remove_tree(utf8(tree)).has_value());
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    // Nothing there is no error.
    EXPECT_TRUE(remove_tree(utf8(tree)).has_value());
    fs::remove_all(base);
}

}  // namespace
}  // namespace vth::peer

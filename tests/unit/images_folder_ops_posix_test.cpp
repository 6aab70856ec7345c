// SPDX-License-Identifier: Apache-2.0
// Folder operations where symbolic links lie in the way (made with the POSIX calls; the Windows
// build of std::filesystem makes none).
#include <gtest/gtest.h>

#include "images/find_by_prefix.h"
#include "images/folder_ops.h"
#include "images_test_support.h"

namespace quillon {
namespace {

using test::TempDir;
using test::write_file;
namespace fs = std::filesystem;

TEST(DeleteTree, NeverFollowsLinks) {
    TempDir t;
    write_file(t / "keep/precious.txt", "mine");
    write_file(t / "d/a.img", "a");
    fs::create_directory_symlink(t / "keep", t / "d/link_to_dir");
    fs::create_symlink(t / "keep/precious.txt", t / "d/link_to_file");
    EXPECT_TRUE(delete_tree(t / "d"));
    EXPECT_FALSE(fs::exists(t / "d"));
    EXPECT_EQ(test::read_file(t / "keep/precious.txt"), "mine");

    // A folder path that is itself a link is not entered and stays.
    fs::create_directory_symlink(t / "keep", t / "alias");
    EXPECT_FALSE(delete_tree(t / "alias"));
    EXPECT_TRUE(fs::is_symlink(t / "alias"));
    EXPECT_EQ(test::read_file(t / "keep/precious.txt"), "mine");
}

TEST(FindByPrefix, ALinkToAFileIsNoMatch) {
    TempDir t;
    const std::string f = t / "img";
    write_file(f + "/UBOOT.IMG", "u");
    write_file(t / "elsewhere/rootfs.img", "r");
    fs::create_symlink(t / "elsewhere/rootfs.img", f + "/rootfs_link.img");
    std::string field = "unchanged";
    EXPECT_EQ(find_by_prefix(f, "rootfs", field), -1);  // only a link
    EXPECT_EQ(field, "unchanged");
    EXPECT_EQ(find_by_prefix(f, "uboot", field), 0);
}

TEST(PathExists, ADanglingLinkIsNoPath) {
    TempDir t;
    fs::create_symlink(t / "nowhere", t / "dangling");
    EXPECT_FALSE(path_exists(t / "dangling"));
    fs::create_symlink(t.path(), t / "to_folder");
    EXPECT_TRUE(path_exists(t / "to_folder"));
}

}  // namespace
}  // namespace quillon

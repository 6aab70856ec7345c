// SPDX-License-Identifier: Apache-2.0
// Folder operations and the keyword search in a folder. (With links: images_folder_ops_posix_test.cpp.)
#include <gtest/gtest.h>

#include "images/find_by_prefix.h"
#include "images/folder_ops.h"
#include "images_test_support.h"
#include "platform/files.h"

namespace quillon {
namespace {

using test::TempDir;
using test::write_file;
namespace fs = std::filesystem;

TEST(FileExt, TextAfterTheLastDot) {
    EXPECT_EQ(file_ext("/a/b/pkg.zip"), "zip");
    EXPECT_EQ(file_ext("/a/b/pkg.tar.ZIP"), "ZIP");
    EXPECT_EQ(file_ext("/a/b/pkg."), "");
    EXPECT_EQ(file_ext("/a/b/pkg"), "");
    EXPECT_EQ(file_ext(""), "");
    EXPECT_EQ(file_ext("/a.d/pkg"), "d/pkg");  // the dot may lie in a folder name
}

TEST(MakeDirs, CreatesEveryLevelAndReportsTheLast) {
    TempDir t;
    EXPECT_TRUE(make_dirs(t / "a/b/c"));
    EXPECT_TRUE(fs::is_directory(t / "a/b/c"));
    EXPECT_FALSE(make_dirs(t / "a/b/c/"));  // exists already: the last creation fails
    EXPECT_TRUE(make_dirs(t / "a/x//y/"));
    EXPECT_TRUE(fs::is_directory(t / "a/x/y"));
    write_file(t / "file", "x");
    EXPECT_FALSE(make_dirs(t / "file/sub"));
    EXPECT_FALSE(fs::exists(t / "file/sub"));
}

TEST(DeleteTree, RemovesNestedTree) {
    TempDir t;
    write_file(t / "d/one.img", "1");
    write_file(t / "d/sub/two.img", "2");
    write_file(t / "d/sub/deeper/three.img", "3");
    fs::create_directories(t / "d/empty");
    EXPECT_TRUE(delete_tree(t / "d"));
    EXPECT_FALSE(fs::exists(t / "d"));
}

TEST(DeleteTree, EmptyMissingAndFilePathsFail) {
    TempDir t;
    EXPECT_FALSE(delete_tree(""));
    EXPECT_FALSE(delete_tree(t / "missing"));
    write_file(t / "plain", "x");
    EXPECT_FALSE(delete_tree(t / "plain"));
    EXPECT_TRUE(fs::exists(t / "plain"));
}

TEST(DeleteTree, HandlesTreesDeeperThanTheDescriptorLimit) {
    TempDir t;
    std::string p = t / "d";
    for (int i = 0; i < 1200; ++i) p += "/x";  // more levels than 1024 open descriptors
    ASSERT_TRUE(make_dirs(p));
    write_file(p + "/leaf", "x");
    EXPECT_TRUE(delete_tree(t / "d"));
    EXPECT_FALSE(fs::exists(t / "d"));
}

TEST(FindByPrefix, CaseInsensitiveExactlyOneRegularFileDirectlyInFolder) {
    TempDir t;
    const std::string f = t / "img";
    write_file(f + "/UBOOT.IMG", "u");
    write_file(f + "/kernel_a.img", "a");
    write_file(f + "/kernel_b.img", "b");
    write_file(f + "/sub/1_boot.img", "s");   // in a sub-folder: never found
    fs::create_directory(f + "/system_dir");  // a folder is not a file
    write_file(f + "/sys", "short");          // shorter than "system": no match

    std::string field = "unchanged";
    EXPECT_EQ(find_by_prefix(f, "uboot", field), 0);
    EXPECT_EQ(field, f + path_separator() + "UBOOT.IMG");

    field = "unchanged";
    EXPECT_EQ(find_by_prefix(f, "kernel", field), -1);  // two matches
    EXPECT_EQ(field, "unchanged");
    EXPECT_EQ(find_by_prefix(f, "1_", field), -1);
    EXPECT_EQ(find_by_prefix(f, "system", field), -1);
    EXPECT_EQ(find_by_prefix(t / "missing", "uboot", field), -1);
    EXPECT_EQ(field, "unchanged");

    EXPECT_TRUE(name_has_prefix("K41qx_fw.img", "K41QX"));
    EXPECT_FALSE(name_has_prefix("K4", "K41QX"));
    EXPECT_FALSE(name_has_prefix("\xc3\xa9kernel", "kernel"));
}

TEST(PathExists, FilesAndFolders) {
    TempDir t;
    write_file(t / "f", "x");
    EXPECT_TRUE(path_exists(t / "f"));
    EXPECT_TRUE(path_exists(t.path()));
    EXPECT_FALSE(path_exists(t / "missing"));
    EXPECT_FALSE(path_exists(""));
}

}  // namespace
}  // namespace quillon

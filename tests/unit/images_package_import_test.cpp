// SPDX-License-Identifier: Apache-2.0
// The package import end to end: real archives, the keyword passes, messages, and re-imports.
#include <gtest/gtest.h>

#include "images/package_import.h"
#include "images_test_support.h"

namespace quillon {
namespace {

using namespace test;
namespace fs = std::filesystem;

class PackageImportTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(pkg); }

    // Imports `entries` as a package and returns the status; slots start filled with junk so
    // that the test sees which ones the import wrote.
    ImportStatus import(const Entries& entries) {
        make_zip(zip, entries);
        return run(zip);
    }
    ImportStatus run(const std::string& path) {
        slots = {"old0", "old1", "old2", "old3"};
        flags = {9, 9, 9, 9};
        return import_package_files(path, unzip_dir, slots, flags, sink);
    }
    // An image's path as the import makes it: the folder, the system's separator, the name.
    std::string img(const std::string& name) const { return folder + path_separator() + name; }

    TempDir t;
    std::string pkg = t / "pkg";
    std::string zip = pkg + "/package.zip";
    std::string folder = pkg + "/brelk_upgrade_image";
    std::string unzip_dir;
    SlotPaths slots;
    RebootFlags flags{};
    RecordingSink sink;
};

TEST_F(PackageImportTest, PassOneOnlyWhenBootAndKernelFound) {
    ASSERT_EQ(import({{"brelk_upgrade_image/1_uboot.img", "b"},
                      {"brelk_upgrade_image/2_kernel.img", "k"},
                      {"brelk_upgrade_image/3_rootfs.img", "s"},
                      // would overwrite BOOT and FW if pass 2 ran
                      {"brelk_upgrade_image/uboot_other.img", "u"},
                      {"brelk_upgrade_image/brelk_app.img", "a"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{img("1_uboot.img"), img("2_kernel.img"), img("3_rootfs.img"), ""}));
    EXPECT_EQ(unzip_dir, folder);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(PackageImportTest, RootfsComesAfterSystem) {
    ASSERT_EQ(import({{"brelk_upgrade_image/uboot.img", "b"},
                      {"brelk_upgrade_image/kernel.img", "k"},
                      {"brelk_upgrade_image/system.img", "s"},
                      {"brelk_upgrade_image/rootfs.img", "r"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{img("uboot.img"), img("kernel.img"), img("rootfs.img"), ""}));
}

TEST_F(PackageImportTest, FirmwareRowsOverwriteInOrder) {
    ASSERT_EQ(import({{"brelk_upgrade_image/K41QX_fw.img", "1"},
                      {"brelk_upgrade_image/p73z_fw.img", "2"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots[slot_fw], img("p73z_fw.img"));
    ASSERT_EQ(import({{"brelk_upgrade_image/K41QX_fw.img", "1"},
                      {"brelk_upgrade_image/P73Z_fw.img", "2"},
                      {"brelk_upgrade_image/BRELK_fw.img", "3"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots[slot_fw], img("BRELK_fw.img"));
}

TEST_F(PackageImportTest, TwoKernelFilesLeaveKernelEmpty) {
    ASSERT_EQ(import({{"brelk_upgrade_image/uboot.img", "b"},
                      {"brelk_upgrade_image/kernel_a.img", "k"},
                      {"brelk_upgrade_image/kernel_b.img", "k"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{img("uboot.img"), "", "", ""}));
}

TEST_F(PackageImportTest, UpperCaseNameMatches) {
    ASSERT_EQ(import({{"brelk_upgrade_image/UBOOT.IMG", "b"}}), ImportStatus::imported);
    EXPECT_EQ(slots[slot_boot], img("UBOOT.IMG"));
}

TEST_F(PackageImportTest, FileInSubFolderIsNotFound) {
    ASSERT_EQ(import({{"brelk_upgrade_image/sub/1_boot.img", "b"},
                      {"brelk_upgrade_image/2_kernel.img", "k"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{"", img("2_kernel.img"), "", ""}));
    EXPECT_TRUE(fs::exists(img("sub/1_boot.img")));
}

TEST_F(PackageImportTest, PassTwoMayOverwriteBootFoundByPassOne) {
    ASSERT_EQ(import({{"brelk_upgrade_image/1_boot.img", "b"},
                      {"brelk_upgrade_image/2_kernel_a.img", "k"},
                      {"brelk_upgrade_image/2_kernel_b.img", "k"},
                      {"brelk_upgrade_image/uboot.img", "u"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{img("uboot.img"), "", "", ""}));
}

TEST_F(PackageImportTest, NoImageFolderFillsNothingAndSaysNothing) {
    ASSERT_EQ(import({{"1_uboot.img", "b"}, {"other/2_kernel.img", "k"}}), ImportStatus::imported);
    EXPECT_EQ(slots, (SlotPaths{"", "", "", ""}));
    EXPECT_EQ(flags, (RebootFlags{0, 0, 0, 0}));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(read_file(pkg + "/1_uboot.img"), "b");  // unpacked beside the archive
    EXPECT_EQ(unzip_dir, folder);
}

TEST_F(PackageImportTest, ReimportDeletesThePreviousFolder) {
    ASSERT_EQ(import({{"brelk_upgrade_image/1_uboot.img", "b"},
                      {"brelk_upgrade_image/2_kernel.img", "k"},
                      {"brelk_upgrade_image/4_old_app.img", "old"},
                      {"readme.txt", "outside the image folder"}}),
              ImportStatus::imported);
    EXPECT_EQ(slots[slot_fw], img("4_old_app.img"));
    // The window deletes the folder named by the package field first, then imports again.
    delete_previous_import(zip);
    EXPECT_FALSE(fs::exists(folder));
    ASSERT_EQ(import({{"brelk_upgrade_image/1_uboot.img", "b2"},
                      {"brelk_upgrade_image/2_kernel.img", "k2"}}),
              ImportStatus::imported);
    EXPECT_FALSE(fs::exists(img("4_old_app.img")));
    EXPECT_EQ(slots, (SlotPaths{img("1_uboot.img"), img("2_kernel.img"), "", ""}));
    EXPECT_EQ(read_file(img("1_uboot.img")), "b2");
    EXPECT_EQ(read_file(pkg + "/readme.txt"), "outside the image folder");  // never deleted

    // Even without that first step, the import itself starts from an empty image folder.
    write_file(img("4_stale.img"), "stale");
    ASSERT_EQ(run(zip), ImportStatus::imported);
    EXPECT_FALSE(fs::exists(img("4_stale.img")));
    EXPECT_EQ(slots[slot_fw], "");
}

TEST_F(PackageImportTest, RebootFlagFromLowerCaseWordInPath) {
    ASSERT_EQ(import({{"brelk_upgrade_image/1_uboot.img", "b"},
                      {"brelk_upgrade_image/2_reboot_kernel.img", "k"},
                      {"brelk_upgrade_image/3_REBOOT_rootfs.img", "s"}}),
              ImportStatus::imported);
    EXPECT_EQ(flags, (RebootFlags{0, 1, 0, 0}));
}

TEST_F(PackageImportTest, MissingPathStopsSilently) {
    unzip_dir = "kept";
    EXPECT_EQ(run(pkg + "/absent.zip"), ImportStatus::no_package);
    EXPECT_EQ(run(""), ImportStatus::no_package);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(unzip_dir, "kept");
    EXPECT_EQ(slots, (SlotPaths{"old0", "old1", "old2", "old3"}));
}

TEST_F(PackageImportTest, PathWithoutFolderIsAFileError) {
    make_zip(zip, {{"brelk_upgrade_image/1_uboot.img", "b"}});
    const fs::path cwd = fs::current_path();
    fs::current_path(pkg);
    ImportStatus st = run("package.zip");
    fs::current_path(cwd);
    EXPECT_EQ(st, ImportStatus::failed);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{kMsgFileError}));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(PackageImportTest, BadArchiveGivesUnzipErrorAndKeepsTheSlots) {
    write_file(zip, "not a zip at all");
    EXPECT_EQ(run(zip), ImportStatus::failed);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{kMsgUnzipError}));
    EXPECT_FALSE(sink.debug_lines.empty());
    EXPECT_EQ(unzip_dir, folder);  // set before unpacking
    EXPECT_EQ(slots, (SlotPaths{"old0", "old1", "old2", "old3"}));
    EXPECT_EQ(flags, (RebootFlags{9, 9, 9, 9}));

    sink.messages.clear();
    EXPECT_EQ(import({{"brelk_upgrade_image/1_uboot.img", "b"}, {"../escape.img", "x"}}),
              ImportStatus::failed);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{kMsgUnzipError}));
    EXPECT_FALSE(fs::exists(t / "escape.img"));
}

TEST(ExtractionFolder, BesideThePackage) {
    EXPECT_EQ(extraction_folder("/a/b/pkg.zip"), "/a/b/brelk_upgrade_image");
    EXPECT_EQ(extraction_folder("/pkg.zip"), "/brelk_upgrade_image");
    EXPECT_EQ(extraction_folder("pkg.zip"), "");
    // The package field's hint text holds no "/", so nothing is deleted for it.
    EXPECT_EQ(extraction_folder("* After selecting the compressed package, all image paths will be "
                                "automatically populated *"),
              "");
}

}  // namespace
}  // namespace quillon

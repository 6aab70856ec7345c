// SPDX-License-Identifier: Apache-2.0
// Unpacking into a package folder that already holds symbolic links (made with the POSIX calls;
// the Windows build of std::filesystem makes none).
#include <gtest/gtest.h>

#include "images/unzip_package.h"
#include "images_test_support.h"
#include "images_unzip_fixture.h"

namespace quillon {
namespace {

using namespace test;
namespace fs = std::filesystem;

TEST_F(UnzipTest, ExistingLinksInThePackageFolderAreNotFollowed) {
    fs::create_directory_symlink(outside, pkg + "/linkdir");
    fs::create_symlink(outside + "/sentinel.txt", pkg + "/linkfile.txt");
    make_zip(zip, {{"linkdir/evil.txt", "pwned"}});
    expect_refused("link");
    // A link in the leaf's place is replaced by the entry, its target untouched.
    make_zip(zip, {{"linkfile.txt", "replaced"}});
    ASSERT_EQ(unzip_package(zip, pkg), 0);
    EXPECT_FALSE(fs::is_symlink(pkg + "/linkfile.txt"));
    EXPECT_EQ(read_file(pkg + "/linkfile.txt"), "replaced");
    EXPECT_EQ(snapshot(outside), before);
}

}  // namespace
}  // namespace quillon

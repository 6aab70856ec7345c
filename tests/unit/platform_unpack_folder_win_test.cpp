// SPDX-License-Identifier: Apache-2.0
// Names that Windows would take for something else never become files of a package.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/unpack_folder.h"

namespace quillon {
namespace {

TEST(PlatformUnpackFolderWin, DevicesStreamsAndCutNamesAreRefused) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::u8string t = std::filesystem::temp_directory_path().u8string();
    const std::string root = std::string(t.begin(), t.end()) + "\\quillon-解包 " +
                             std::to_string(stamp);
    ASSERT_TRUE(make_directory(root));
    std::string err;
    FolderHandle dir = open_folder(root, err);
    ASSERT_TRUE(dir.valid()) << err;

    for (const char* bad : {"NUL", "com1.img", "a:b", "x.", "y ", "CON.txt"}) {
        err.clear();
        EXPECT_FALSE(open_folder_chain(dir, {bad}, 1, err).valid()) << bad;
        EXPECT_FALSE(err.empty());
    }
    FolderHandle sub = open_folder_chain(dir, {"图像 一", "二"}, 2, err);
    ASSERT_TRUE(sub.valid()) << err;

    std::string part;
    NewFile f = create_part_file(sub, part);
    ASSERT_TRUE(f.valid());
    const unsigned char data[] = {'a', '\n', 'b'};
    ASSERT_TRUE(f.write_all(data, sizeof data));
    ASSERT_TRUE(f.close());
    EXPECT_FALSE(replace_file_in(sub, part, "aux.img"));
    ASSERT_TRUE(replace_file_in(sub, part, "内核.img"));
    ReadOnlyFile r(root + "\\图像 一\\二\\内核.img");
    uint64_t size = 0;
    ASSERT_TRUE(r.regular_size(size));
    EXPECT_EQ(size, 3u);
    r.close();
    EXPECT_TRUE(free_bytes(sub).has_value());

    sub = FolderHandle();
    dir = FolderHandle();
    EXPECT_TRUE(delete_tree(root));
}

}  // namespace
}  // namespace quillon

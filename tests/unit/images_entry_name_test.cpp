// Screening of zip entry names.
#include <gtest/gtest.h>

#include "images/zip_entry_name.h"

namespace quillon {
namespace {

struct Case {
    const char* name;
    bool ok;
    std::vector<std::string> components;
    bool folder;
};

TEST(EntryName, SplitsSafeNamesAndRefusesEscapes) {
    const std::vector<Case> cases = {
        {"brelk_upgrade_image/1_uboot.img", true, {"brelk_upgrade_image", "1_uboot.img"}, false},
        {"brelk_upgrade_image\\2_kernel.img", true, {"brelk_upgrade_image", "2_kernel.img"}, false},
        {"./a//b/./c", true, {"a", "b", "c"}, false},
        {"brelk_upgrade_image/", true, {"brelk_upgrade_image"}, true},
        {"a\\", true, {"a"}, true},
        {"x..y/..z", true, {"x..y", "..z"}, false},
        {"", false, {}, false},
        {"/etc/passwd", false, {}, false},
        {"\\windows\\x", false, {}, false},
        {"C:x.img", false, {}, false},
        {"c:/x.img", false, {}, false},
        {"../x.img", false, {}, false},
        {"a/../../x.img", false, {}, false},
        {"a/..", false, {}, false},
        {"a\\..\\..\\x", false, {}, false},
        {"..", false, {}, false},
        {".", false, {}, false},
        {"./", true, {}, true},
    };
    for (const Case& c : cases) {
        EntryPath p;
        std::string why;
        bool ok = split_entry_name(c.name, false, p, why);
        EXPECT_EQ(ok, c.ok) << c.name;
        if (ok) {
            EXPECT_EQ(p.components, c.components) << c.name;
            EXPECT_EQ(p.is_folder, c.folder) << c.name;
        } else {
            EXPECT_FALSE(why.empty()) << c.name;
        }
    }
}

TEST(EntryName, FolderAttributeAndOddBytes) {
    EntryPath p;
    std::string why;
    EXPECT_TRUE(split_entry_name("dir_without_slash", true, p, why));
    EXPECT_TRUE(p.is_folder);
    EXPECT_FALSE(split_entry_name(std::string("a\0/../../x", 10), false, p, why));
    EXPECT_FALSE(split_entry_name("a/" + std::string(300, 'n'), false, p, why));
    EXPECT_TRUE(split_entry_name("a/" + std::string(255, 'n'), false, p, why));
}

}  // namespace
}  // namespace quillon

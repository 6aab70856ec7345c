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

// Windows tools write names in their code page and leave the UTF-8 flag clear.
TEST(EntryName, NamesInTheMakersCodePageBecomeUtf8) {
    const std::string utf8 = "brelk_upgrade_image/4_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img";  // 门口机
    const std::string gbk = "brelk_upgrade_image/4_\xc3\xc5\xbf\xda\xbb\xfa.img";
    EXPECT_EQ(entry_name_utf8(gbk, false), utf8);
    EXPECT_EQ(entry_name_utf8(utf8, false), utf8) << "already UTF-8";
    EXPECT_EQ(entry_name_utf8(utf8, true), utf8);
    EXPECT_EQ(entry_name_utf8(gbk, true), gbk) << "marked UTF-8: taken as it is";
    EXPECT_EQ(entry_name_utf8("dir/1_uboot.img", false), "dir/1_uboot.img");
    EXPECT_EQ(entry_name_utf8("a\xff\xff", false), "a\xff\xff") << "neither: kept";
    EXPECT_EQ(entry_name_utf8("", false), "");
    // Byte runs shaped like UTF-8 that are none (a surrogate, an overlong form, beyond U+10FFFF)
    // are not taken for UTF-8: ED A1 B0 A1 is GBK for "怼啊", not half of a UTF-16 pair.
    EXPECT_EQ(entry_name_utf8("\xed\xa1\xb0\xa1", false), "\xe6\x80\xbc\xe5\x95\x8a");
    EXPECT_NE(entry_name_utf8("\xe0\x80\x80", false), "\xe0\x80\x80") << "overlong: read as GBK";
    EXPECT_NE(entry_name_utf8("\xf4\x90\x80\x80", false), "\xf4\x90\x80\x80") << "too high: read as GBK";
    EXPECT_EQ(entry_name_utf8("\xf0\x9f\x98\x80.img", false), "\xf0\x9f\x98\x80.img") << "UTF-8: kept";

    // 乗 is 81 5C in GBK: its second byte is "\", which must not split the name.
    const std::string name = entry_name_utf8("dir/\x81\x5c.img", false);
    EXPECT_EQ(name, "dir/\xe4\xb9\x97.img");
    EntryPath p;
    std::string why;
    ASSERT_TRUE(split_entry_name(name, false, p, why)) << why;
    EXPECT_EQ(p.components, (std::vector<std::string>{"dir", "\xe4\xb9\x97.img"}));
}

}  // namespace
}  // namespace quillon

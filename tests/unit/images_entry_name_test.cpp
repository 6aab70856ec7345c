// SPDX-License-Identifier: Apache-2.0
// Screening of zip entry names.
#include <gtest/gtest.h>

#include <zlib.h>

#include "images/zip_entry_name.h"
#include "images/zip_extra_fields.h"

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
    const std::string utf8 =
        "brelk_upgrade_image/4_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img";  // 门口机
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
    EXPECT_NE(entry_name_utf8("\xf4\x90\x80\x80", false), "\xf4\x90\x80\x80")
        << "too high: read as GBK";
    EXPECT_EQ(entry_name_utf8("\xf0\x9f\x98\x80.img", false), "\xf0\x9f\x98\x80.img")
        << "UTF-8: kept";

    // 乗 is 81 5C in GBK: its second byte is "\", which must not split the name.
    const std::string name = entry_name_utf8("dir/\x81\x5c.img", false);
    EXPECT_EQ(name, "dir/\xe4\xb9\x97.img");
    EntryPath p;
    std::string why;
    ASSERT_TRUE(split_entry_name(name, false, p, why)) << why;
    EXPECT_EQ(p.components, (std::vector<std::string>{"dir", "\xe4\xb9\x97.img"}));
}

std::string field(uint16_t id, const std::string& body) {
    std::string f = {char(id & 0xff), char(id >> 8), char(body.size() & 0xff),
                     char(body.size() >> 8)};
    return f + body;
}
std::string le64(uint64_t v) {
    std::string s;
    for (int i = 0; i < 8; ++i) s += char((v >> (8 * i)) & 0xff);
    return s;
}

TEST(ExtraFields, Zip64ValuesReplaceOnlyTheMarkedSizes) {
    const std::string unix_field = field(0x7875, std::string(11, '\1'));
    Zip64Values v;
    // Only the uncompressed size is marked: the field's first value is that size.
    ASSERT_TRUE(resolve_zip64(unix_field + field(0x0001, le64(300000)), kZip64Marker, 300050, v));
    EXPECT_EQ(v.uncompressed, 300000u);
    EXPECT_EQ(v.compressed, 300050u);
    EXPECT_FALSE(v.header_offset);
    // Both sizes and the offset, values beyond 32 bits.
    const uint64_t big = (uint64_t(5) << 32) + 7;
    ASSERT_TRUE(resolve_zip64(field(0x0001, le64(big) + le64(big - 1) + le64(big + 9)),
                              kZip64Marker, kZip64Marker, v));
    EXPECT_EQ(v.uncompressed, big);
    EXPECT_EQ(v.compressed, big - 1);
    ASSERT_TRUE(v.header_offset);
    EXPECT_EQ(*v.header_offset, big + 9);
    // Sizes that are not marked stay; the field's only value is then the offset.
    ASSERT_TRUE(resolve_zip64(field(0x0001, le64(big)), 10, 12, v));
    EXPECT_EQ(v.uncompressed, 10u);
    ASSERT_TRUE(v.header_offset);
    EXPECT_EQ(*v.header_offset, big);
    // No Zip64 field and nothing marked: as it was.
    ASSERT_TRUE(resolve_zip64("", 1, 2, v));
    EXPECT_EQ(v.uncompressed, 1u);
}

TEST(ExtraFields, MarkedSizesWithoutTheirValueAndCutBlocksAreRefused) {
    Zip64Values v;
    EXPECT_FALSE(resolve_zip64("", kZip64Marker, 5, v));
    EXPECT_FALSE(resolve_zip64(field(0x0001, le64(1)), kZip64Marker, kZip64Marker, v));
    EXPECT_FALSE(resolve_zip64(field(0x0001, std::string(7, '\0')), kZip64Marker, 5, v));
    // A field claiming more bytes than the block has is not read.
    std::string cut = field(0x0001, le64(42));
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(resolve_zip64(cut, kZip64Marker, 5, v));
    EXPECT_FALSE(find_extra_field(cut, 0x0001));
    EXPECT_FALSE(find_extra_field("\x01\x00\x08", 0x0001));
    for (std::size_t n = 0; n < 4; ++n)
        EXPECT_FALSE(find_extra_field(std::string(n, '\0'), 0)) << n;
}

TEST(ExtraFields, UnicodePathCountsOnlyForTheNameItWasWrittenFor) {
    const std::string raw = "brelk_upgrade_image/4_\x81\x5c.img";
    const std::string utf8 = "brelk_upgrade_image/4_\xe9\x97\xa8.img";
    auto upath = [](uint8_t version, const std::string& for_name, const std::string& name) {
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(for_name.data()),
                                uInt(for_name.size()));
        std::string body(1, char(version));
        for (int i = 0; i < 4; ++i) body += char((crc >> (8 * i)) & 0xff);
        return field(0x7075, body + name);
    };
    EXPECT_EQ(unicode_path_name(field(0x5455, "x") + upath(1, raw, utf8), raw), utf8);
    EXPECT_FALSE(unicode_path_name(upath(1, "other", utf8), raw)) << "stale CRC";
    EXPECT_FALSE(unicode_path_name(upath(2, raw, utf8), raw)) << "unknown version";
    EXPECT_FALSE(unicode_path_name(field(0x7075, "\x01\x00"), raw)) << "too short";
    EXPECT_FALSE(unicode_path_name("", raw));
}

}  // namespace
}  // namespace quillon

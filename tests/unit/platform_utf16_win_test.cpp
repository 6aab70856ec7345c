// SPDX-License-Identifier: Apache-2.0
// UTF-8 inside, UTF-16 at the Windows API: strict conversions for names, lenient ones for texts.
#include "platform/utf16_win.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(Utf16, NamesRoundTrip) {
    const std::string name =
        "C:\\Users\\\xE5\xBC\xA0\xE4\xBC\x9F\\Desktop\\\xE5\x9B\xBA\xE4\xBB\xB6 v2\\"
        "\xF0\x9F\x93\xA6.zip";  // 张伟, 固件, and a character beyond the BMP
    std::wstring wide;
    ASSERT_TRUE(utf8_to_utf16(name, wide));
    EXPECT_EQ(wide, L"C:\\Users\\\x5F20\x4F1F\\Desktop\\\x56FA\x4EF6 v2\\\xD83D\xDCE6.zip");
    std::string back;
    ASSERT_TRUE(utf16_to_utf8(wide, back));
    EXPECT_EQ(back, name);
    EXPECT_TRUE(utf8_to_utf16("", wide));
    EXPECT_TRUE(wide.empty());
}

TEST(Utf16, StrictConversionsRefuseWhatWouldNameAnotherFile) {
    std::wstring wide = L"x";
    EXPECT_FALSE(utf8_to_utf16("a\xFF", wide));  // not UTF-8
    EXPECT_TRUE(wide.empty());
    EXPECT_FALSE(utf8_to_utf16("\xC0\xAF", wide));              // overlong '/'
    EXPECT_FALSE(utf8_to_utf16("\xE5\xBC", wide));              // cut short
    EXPECT_FALSE(utf8_to_utf16(std::string("a\0b", 3), wide));  // would end the name at 'a'
    std::string narrow_out = "x";
    EXPECT_FALSE(utf16_to_utf8(std::wstring(L"a\xD800"
                                            L"b"),
                               narrow_out));  // lone surrogate
    EXPECT_TRUE(narrow_out.empty());
    EXPECT_FALSE(utf16_to_utf8(std::wstring(L"a\0b", 3), narrow_out));
}

TEST(Utf16, LenientConversionsMarkWhatIsNotValid) {
    EXPECT_EQ(widen("a\xFF"
                    "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(narrow(std::wstring(L"a\xDC00"
                                  L"b")),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(narrow(L"\x4EE5\x592A\x7F51"), "\xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91");  // 以太网
}

TEST(Utf16, ErrorTexts) {
    const std::string known = win32_error_text(2);  // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(known.empty());
    EXPECT_NE(known, "error 2");
    EXPECT_NE(known.back(), '\n');
    EXPECT_EQ(win32_error_text(0x2FFFFFFF), "error 805306367");
}

}  // namespace
}  // namespace quillon

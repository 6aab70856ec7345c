// SPDX-License-Identifier: Apache-2.0
// Reading the settings file on Windows: the path is UTF-8 inside the program and may name a
// folder that is not ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/ini_file.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

TEST(IniFileWin, AFileInAFolderWithChineseCharactersAndBlanks) {
    wchar_t tmp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, tmp), 0u);
    const std::wstring dir = std::wstring(tmp) + L"quillon \x5F20\x4F1F ini";  // "张伟"
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring file = dir + L"\\config.ini";
    {
        std::FILE* f = ::_wfopen(file.c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        std::fputs("[Settings]\r\nlanguage=en\r\ndebug=2\r\n", f);
        std::fclose(f);
    }
    const std::string path = narrow(file);
    const IniFile ini = IniFile::load(path);
    EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "en");
    EXPECT_EQ(ini.get_int("Settings", "debug", 0), 2);
    // The folder itself, and a name that is no UTF-8, give the defaults.
    EXPECT_EQ(IniFile::load(narrow(dir)).get_int("Settings", "debug", 7), 7);
    EXPECT_EQ(IniFile::load(path + "\xFF").get_int("Settings", "debug", 7), 7);
    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(dir.c_str());
}

}  // namespace
}  // namespace quillon

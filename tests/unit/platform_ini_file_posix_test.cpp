// SPDX-License-Identifier: Apache-2.0
// Loading the INI file from disk on Linux: defaults for anything missing or unreadable.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ini_file.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::TempDir;

TEST(IniFileLoad, ReadsAFile) {
    TempDir dir;
    test::write_file(dir / "config.ini", "\xEF\xBB\xBF[Settings]\r\nlanguage=en\r\ndebug = 2 \r\n");
    IniFile ini = IniFile::load(dir / "config.ini");
    EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "en");
    EXPECT_EQ(ini.get_int("Settings", "debug", 0), 2);
}

// An indented line is a setting of its own, as the Windows reader takes it, not the
// continuation of the key above.
TEST(IniFileLoad, IndentedLinesAreSettingsOfTheirOwn) {
    const char* text = "  [Settings]\nlanguage=en\n  debug=1\n\t fake_burn = 2\n   \n";
    TempDir dir;
    test::write_file(dir / "config.ini", text);
    for (const IniFile& ini : {IniFile::load(dir / "config.ini"), IniFile::parse(text)}) {
        EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "en");
        EXPECT_EQ(ini.get_int("Settings", "debug", 0), 1);
        EXPECT_EQ(ini.get_int("Settings", "fake_burn", 0), 2);
    }
}

TEST(IniFileLoad, MissingFileFolderOrPipeGiveDefaults) {
    TempDir dir;
    EXPECT_EQ(IniFile::load(dir / "none.ini").get_string("Settings", "language", "ch"), "ch");

    std::filesystem::create_directory(dir / "config.ini");
    EXPECT_EQ(IniFile::load(dir / "config.ini").get_int("Settings", "debug", 4), 4);

    // A pipe in place of the file must not block start-up waiting for a writer.
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    EXPECT_EQ(IniFile::load(dir / "fifo.ini").get_int("Settings", "debug", 3), 3);

    EXPECT_EQ(IniFile::load(dir / "none.ini/config.ini").get_int("Settings", "debug", 2), 2);
}

}  // namespace
}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
// Start-up settings: marker files, config.ini and how they combine with the locale.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/files.h"
#include "support/temp_dir.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using test::TempDir;
using test::write_file;

TEST(LoadSettings, NothingThereGivesTheDefaults) {
    TempDir dir;
    Settings s = load_settings(dir.path());
    EXPECT_FALSE(s.use_english);
    EXPECT_FALSE(s.debug);
    EXPECT_FALSE(s.fake_burn);
    EXPECT_EQ(s.language, "ch");
}

// No directory (the working directory could not be read): the names are looked for where the
// process is, never at the root.
TEST(LoadSettings, NoDirectoryLooksInTheWorkingDirectoryNotAtTheRoot) {
    TempDir dir;
    write_file(dir / "config.ini", "[Settings]\nlanguage=en\nfake_burn=1\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Settings s = load_settings("");
    std::filesystem::current_path(before);
    EXPECT_TRUE(s.use_english);
    EXPECT_TRUE(s.fake_burn);
}

TEST(LoadSettings, LanguageMarkerFileOrFolderForcesEnglish) {
    TempDir a, b;
    write_file(a / "test_language", "");
    std::filesystem::create_directory(b / "test_language");
    EXPECT_TRUE(load_settings(a.path()).use_english);
    EXPECT_TRUE(load_settings(b.path()).use_english);
}

TEST(LoadSettings, LanguageSettingEnForcesEnglishCaseSensitively) {
    TempDir dir;
    write_file(dir / "config.ini", "[Settings]\nlanguage=en\n");
    EXPECT_TRUE(load_settings(dir.path()).use_english);
    write_file(dir / "config.ini", "[Settings]\nlanguage=EN\n");
    Settings upper = load_settings(dir.path());
    EXPECT_FALSE(upper.use_english);
    EXPECT_EQ(upper.language, "EN");
    write_file(dir / "config.ini", "[Settings]\nlanguage=english\n");
    EXPECT_FALSE(load_settings(dir.path()).use_english);
    // Section and key names are not case-sensitive, as with the Windows profile reader.
    write_file(dir / "config.ini", "[SETTINGS]\nLanguage=en\n");
    EXPECT_TRUE(load_settings(dir.path()).use_english);
    write_file(dir / "config.ini", "[Other]\nlanguage=en\n");
    EXPECT_FALSE(load_settings(dir.path()).use_english);
}

TEST(LoadSettings, DebugAndFakeBurnAreAnyNonzeroInteger) {
    TempDir dir;
    write_file(dir / "config.ini", "[Settings]\ndebug=2\nfake_burn=1\n");
    Settings s = load_settings(dir.path());
    EXPECT_TRUE(s.debug);
    EXPECT_TRUE(s.fake_burn);
    write_file(dir / "config.ini", "[Settings]\ndebug=yes\nfake_burn=0\n");
    s = load_settings(dir.path());
    EXPECT_FALSE(s.debug);  // no leading digits reads as 0
    EXPECT_FALSE(s.fake_burn);
    write_file(dir / "config.ini", "[Settings]\ndebug=-1\nfake_burn=10abc\n");
    s = load_settings(dir.path());
    EXPECT_TRUE(s.debug);
    EXPECT_TRUE(s.fake_burn);
}

// How long a device may take to come back after its reboot: 300 s unless set; 0 turns the
// check off; a negative value is no check, and more than a day is a day.
TEST(LoadSettings, ComeBackIsSecondsWithinZeroToADay) {
    TempDir dir;
    EXPECT_EQ(load_settings(dir.path()).come_back, 300);
    const std::pair<const char*, int> cases[] = {{"come_back=45", 45},
                                                 {"come_back=0", 0},
                                                 {"come_back=-7", 0},
                                                 {"come_back=999999", 86400},
                                                 {"come_back=abc", 0}};
    for (const auto& [line, want] : cases) {
        write_file(dir / "config.ini", std::string("[Settings]\n") + line + "\n");
        EXPECT_EQ(load_settings(dir.path()).come_back, want) << line;
    }
}

TEST(LoadSettings, MarkersAreOverruledByTheSettingsFile) {
    TempDir dir;
    write_file(dir / "test_debug", "");
    write_file(dir / "test_fake", "");
    Settings s = load_settings(dir.path());
    EXPECT_TRUE(s.debug_marker);
    EXPECT_TRUE(s.fake_marker);
    EXPECT_FALSE(s.debug);  // the missing keys count as 0 and replace the markers
    EXPECT_FALSE(s.fake_burn);
    write_file(dir / "config.ini", "[Settings]\ndebug=1\n");
    s = load_settings(dir.path());
    EXPECT_TRUE(s.debug);
    EXPECT_FALSE(s.fake_burn);
}

TEST(LoadSettings, AFolderNamedConfigIniGivesTheDefaults) {
    TempDir dir;
    std::filesystem::create_directory(dir / "config.ini");
    Settings s = load_settings(dir.path());
    EXPECT_FALSE(s.use_english);
    EXPECT_FALSE(s.debug);
    EXPECT_EQ(s.language, "ch");
}

TEST(LoadSettings, ALongWorkingDirectoryStillFindsItsSettings) {
    TempDir dir;
    std::string deep = dir.path();
    for (int i = 0; i < 6; ++i) deep += "/" + std::string(40, 'a' + i);
    std::filesystem::create_directories(deep);
    write_file(deep + "/config.ini", "[Settings]\nlanguage=en\n");
    EXPECT_TRUE(load_settings(deep).use_english);
    EXPECT_TRUE(load_settings(deep + "/").use_english);
}

// (The language rule at start-up, per system: app_settings_language_posix_test.cpp and
// app_settings_language_win_test.cpp.)

}  // namespace
}  // namespace quillon

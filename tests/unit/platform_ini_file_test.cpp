// SPDX-License-Identifier: Apache-2.0
// The INI reader: names compared without case, first occurrence wins, defaults for anything
// missing, and the integer rule of the profile reader.
#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <climits>

namespace quillon {
namespace {

TEST(IniFile, SectionAndKeyNamesIgnoreCase) {
    IniFile ini = IniFile::parse("[SETTINGS]\nLanguage = en\nDEBUG=1\n[other]\nlanguage=ch\n");
    EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "en");
    EXPECT_EQ(ini.get_string("settings", "LANGUAGE", "ch"), "en");
    EXPECT_EQ(ini.get_int("Settings", "debug", 0), 1);
    EXPECT_EQ(ini.get_string("Other", "Language", "x"), "ch");
    EXPECT_TRUE(ini.has("sEtTiNgS", "dEbUg"));
}

TEST(IniFile, ValuesKeepTheirCase) {
    IniFile ini = IniFile::parse("[Settings]\nlanguage=EN\n");
    EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "EN");
}

TEST(IniFile, MissingSectionOrKeyGivesTheDefault) {
    IniFile ini = IniFile::parse("language=en\n[Settings]\nfake_burn=1\n; debug=1\n# debug=1\n");
    EXPECT_EQ(ini.get_string("Settings", "language", "ch"), "ch");  // before any section
    EXPECT_EQ(ini.get_int("Settings", "debug", 7), 7);              // only in comments
    EXPECT_EQ(ini.get_int("Nothing", "fake_burn", 5), 5);
    EXPECT_FALSE(ini.has("Settings", "debug"));
    EXPECT_EQ(ini.get_int("Settings", "fake_burn", 0), 1);
}

TEST(IniFile, FirstOccurrenceWins) {
    IniFile ini = IniFile::parse("[Settings]\ndebug=0\ndebug=1\n[settings]\nDebug=2\n");
    EXPECT_EQ(ini.get_int("Settings", "debug", 9), 0);
}

TEST(IniFile, BrokenLinesDoNotHideTheRest) {
    IniFile ini = IniFile::parse(
        "garbage without equals\n[Settings\n[Settings]\n=x\nfake_burn=3\n");
    EXPECT_EQ(ini.get_int("Settings", "fake_burn", 0), 3);
}

TEST(IniFile, IntegerIsTheValueOfTheLeadingDigits) {
    IniFile ini = IniFile::parse(
        "[s]\na=12abc\nb=abc\nc=-5\nd=\ne=0x10\nf=99999999999999999999\ng=-99999999999999999999\n"
        "h=007\ni=1.9\n");
    EXPECT_EQ(ini.get_int("s", "a", -1), 12);
    EXPECT_EQ(ini.get_int("s", "b", -1), 0);
    EXPECT_EQ(ini.get_int("s", "c", -1), -5);
    EXPECT_EQ(ini.get_int("s", "d", -1), 0);  // present but empty: no digits
    EXPECT_EQ(ini.get_int("s", "e", -1), 0);
    EXPECT_EQ(ini.get_int("s", "f", -1), INT_MAX);  // saturates rather than wrapping to 0
    EXPECT_EQ(ini.get_int("s", "g", -1), INT_MIN);
    EXPECT_EQ(ini.get_int("s", "h", -1), 7);
    EXPECT_EQ(ini.get_int("s", "i", -1), 1);
    EXPECT_EQ(profile_int("2147483647"), INT_MAX);
    EXPECT_EQ(profile_int("2147483648"), INT_MAX);
    EXPECT_EQ(profile_int("-2147483648"), INT_MIN);
    EXPECT_EQ(profile_int("-"), 0);
}

}  // namespace
}  // namespace quillon

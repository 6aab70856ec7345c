// SPDX-License-Identifier: Apache-2.0
// config.ini as an installer may really leave it: numbers far out of range, lines far longer
// than any setting needs. (A "file" that is a folder, a device or a broken link:
// hostile_settings_posix_test.cpp.)
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/settings.h"
#include "platform/ini_file.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::TempDir;

Settings settings_from(const TempDir& dir, const std::string& ini) {
    // A new file each time: ext4 writes a truncated and rewritten file out when it is closed.
    std::filesystem::remove(dir / "config.ini");
    test::write_file(dir / "config.ini", ini);
    return load_settings(dir.path());
}

// A mode is on exactly when its number is not zero, however it is written: a value that does
// not fit an int must not wrap round to zero (or to a number of the other sign).
TEST(HostileSettings, NumbersOutOfRangeKeepTheirMeaning) {
    TempDir dir;
    struct Case {
        const char* value;
        int as_int;
    };
    const Case cases[] = {
        {"4294967296", INT_MAX},            // 2^32: zero in the low 32 bits
        {"18446744073709551616", INT_MAX},  // 2^64: zero in the low 64 bits
        {"99999999999999999999999999999999999999", INT_MAX},
        {"2147483648", INT_MAX},
        {"-1", -1},
        {"-2147483649", INT_MIN},
        {"-4294967296", INT_MIN},
        {"-99999999999999999999999999999999999999", INT_MIN},
        {"00000000000000000000000000000000000001", 1},
        {"00000000000000000000000000000000000000", 0},
        {"-0", 0},
        {"-", 0},
        {"--1", 0},
        {"+1", 0},  // no leading digits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(profile_int(c.value), c.as_int);
        const Settings s = settings_from(dir, std::string("[Settings]\ndebug=") + c.value +
                                                  "\nfake_burn=" + c.value + "\n");
        EXPECT_EQ(s.debug, c.as_int != 0);
        EXPECT_EQ(s.fake_burn, c.as_int != 0);
    }
    // Ten thousand digits are still just a large number.
    const Settings s = settings_from(dir, "[Settings]\ndebug=" + std::string(10000, '9') + "\n");
    EXPECT_TRUE(s.debug);
}

// inih reads a line into a buffer of fixed size; whatever did not fit must not come back as a
// line of its own, or the tail of a long comment or value becomes a setting.
TEST(HostileSettings, TheTailOfALongLineIsNoSetting) {
    TempDir dir;
    // Every length around the usual buffer sizes of inih's builds (200, 256, 512, 1024 bytes).
    for (std::size_t pad = 150; pad <= 1100; ++pad) {
        SCOPED_TRACE("padding " + std::to_string(pad));
        const std::string filler(pad, 'x');
        const Settings commented = settings_from(dir, "[Settings]\n;" + filler + "debug=1\n#" +
                                                          filler + "fake_burn=1\n");
        ASSERT_FALSE(commented.debug);
        ASSERT_FALSE(commented.fake_burn);
        const Settings in_value = settings_from(dir, "[Settings]\nlanguage=" + filler +
                                                         "fake_burn=1\ndebug=0\n");
        ASSERT_FALSE(in_value.fake_burn);
        ASSERT_FALSE(in_value.debug);
        ASSERT_EQ(in_value.language.substr(0, 10), std::string(10, 'x'));
        // The same text in memory.
        const IniFile ini = IniFile::parse(";" + filler + "[Settings]\n[Settings]\n;" + filler +
                                           "debug=1\n");
        ASSERT_FALSE(ini.has("Settings", "debug"));
    }
    // A long line is cut, not dropped, and the lines after it are read as usual.
    const Settings s = settings_from(dir, "[Settings]\nlanguage=en" + std::string(5000, ' ') +
                                              "x\ndebug=1\n");
    EXPECT_EQ(s.language, "en");
    EXPECT_TRUE(s.use_english);
    EXPECT_TRUE(s.debug);
}

}  // namespace
}  // namespace quillon

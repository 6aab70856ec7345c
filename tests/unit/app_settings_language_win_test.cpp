// SPDX-License-Identifier: Apache-2.0
// The language rule at start-up on Windows: the forcing files, then the system's default locale,
// which a process cannot change for itself. The test checks the system it runs on; the Wine run
// with a Chinese (PRC) system locale (quillon_app_tests_zh_cn) covers the Chinese half. Set
// QUILLON_EXPECT_SYSTEM_LOCALE (a locale name, "zh-CN") to require that system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using test::TempDir;
using test::write_file;

bool english_in(const std::string& dir) {
    UiTexts t;
    t.use_english = load_settings(dir).use_english;
    t.apply_language();
    return t.english();
}

TEST(LanguageAtStartUp, TheForcingFilesThenTheSystemLocale) {
    const bool prc = system_locale_is_zh_cn();
    if (const char* want = std::getenv("QUILLON_EXPECT_SYSTEM_LOCALE")) {
        ASSERT_EQ(prc, std::string(want) == "zh-CN") << want;
    }
    TempDir none, marker, en, upper, ch;
    write_file(marker / "test_language", "x");
    write_file(en / "config.ini", "[Settings]\nlanguage=en\n");
    write_file(upper / "config.ini", "[Settings]\nlanguage=EN\n");
    write_file(ch / "config.ini", "[Settings]\nlanguage=ch\n");
    // Forcing: the marker file, or exactly "en".
    EXPECT_TRUE(english_in(marker.path()));
    EXPECT_TRUE(english_in(en.path()));
    // Otherwise the system decides: Chinese on a PRC system, English on any other.
    EXPECT_EQ(english_in(none.path()), !prc);
    EXPECT_EQ(english_in(upper.path()), !prc);
    EXPECT_EQ(english_in(ch.path()), !prc);
}

}  // namespace
}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
// The language rule at start-up on a POSIX system: the forcing files, then the locale variables,
// which the test sets in the process.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using test::TempDir;
using test::write_file;

// The whole language rule: forcing from the files, then the locale.
class LanguageAtStartUp : public testing::Test {
protected:
    bool english_with(const std::string& dir, const char* lang) {
        test::ScopedEnv env;
        env.set("LC_ALL", nullptr);
        env.set("LC_MESSAGES", nullptr);
        env.set("LANG", lang);
        UiTexts t;
        t.use_english = load_settings(dir).use_english;
        t.apply_language();
        return t.english();
    }
};

TEST_F(LanguageAtStartUp, ChineseSystem) {
    TempDir none, marker, en, upper;
    write_file(marker / "test_language", "x");
    write_file(en / "config.ini", "[Settings]\nlanguage=en\n");
    write_file(upper / "config.ini", "[Settings]\nlanguage=EN\n");
    EXPECT_FALSE(english_with(none.path(), "zh_CN.UTF-8"));
    EXPECT_TRUE(english_with(marker.path(), "zh_CN.UTF-8"));
    EXPECT_TRUE(english_with(en.path(), "zh_CN.UTF-8"));
    EXPECT_FALSE(english_with(upper.path(), "zh_CN.UTF-8"));
}

TEST_F(LanguageAtStartUp, OtherSystemIsEnglishWhateverTheSetting) {
    TempDir ch;
    write_file(ch / "config.ini", "[Settings]\nlanguage=ch\n");
    EXPECT_TRUE(english_with(ch.path(), "en_US.UTF-8"));
}

}  // namespace
}  // namespace quillon

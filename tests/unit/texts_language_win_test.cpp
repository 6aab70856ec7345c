// SPDX-License-Identifier: Apache-2.0
// The language rule on Windows: the system's default locale decides, and the locale variables
// that decide on a POSIX system do not matter. Set QUILLON_EXPECT_SYSTEM_LOCALE (a locale name,
// "zh-CN") to also require that the system runs with that locale.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/utf16_win.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

std::string system_locale_name() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SNAME, name, LOCALE_NAME_MAX_LENGTH) <= 0)
        return {};
    return narrow(name);
}

TEST(LanguageRule, TheSystemDefaultLocaleDecides) {
    const std::string name = system_locale_name();
    ASSERT_FALSE(name.empty());
    if (const char* want = std::getenv("QUILLON_EXPECT_SYSTEM_LOCALE")) {
        ASSERT_EQ(name, want);
    }
    const bool prc = name == "zh-CN";
    EXPECT_EQ(system_locale_is_zh_cn(), prc) << name;
    UiTexts t;
    t.apply_language();
    EXPECT_EQ(t.english(), !prc) << name;
    EXPECT_EQ(t.get(TextId::start_button), prc ? "升级" : "START");
}

TEST(LanguageRule, TheLocaleVariablesDoNotMatter) {
    const bool before = system_locale_is_zh_cn();
    for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        ::_putenv_s("LC_ALL", lang);
        ::_putenv_s("LANG", lang);
        EXPECT_EQ(system_locale_is_zh_cn(), before) << lang;
    }
    ::_putenv_s("LC_ALL", "");
    ::_putenv_s("LANG", "");
}

TEST(LanguageRule, ForcedEnglishWhateverTheSystem) {
    UiTexts t;
    t.use_english = true;
    t.apply_language();
    EXPECT_TRUE(t.english());
    EXPECT_EQ(t.get(TextId::start_button), "START");
}

}  // namespace
}  // namespace quillon

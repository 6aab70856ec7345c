// SPDX-License-Identifier: Apache-2.0
// The language rule where the locale variables tell the system's locale.
#include <gtest/gtest.h>

#include "support/scoped_env.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using test::ScopedEnv;

TEST(LanguageRule, FirstSetAndNonEmptyVariableDecides) {
    EXPECT_TRUE(locale_is_zh_cn(nullptr, nullptr, "zh_CN.UTF-8"));
    EXPECT_TRUE(locale_is_zh_cn(nullptr, nullptr, "zh_CN"));
    EXPECT_TRUE(locale_is_zh_cn("zh_CN.GB18030", "en_US.UTF-8", "en_US.UTF-8"));
    EXPECT_FALSE(locale_is_zh_cn("en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8"));
    EXPECT_TRUE(locale_is_zh_cn("", "zh_CN.UTF-8", "en_US.UTF-8"));  // empty counts as unset
    EXPECT_FALSE(locale_is_zh_cn(nullptr, "C", "zh_CN.UTF-8"));
    EXPECT_FALSE(locale_is_zh_cn(nullptr, nullptr, "zh_TW.UTF-8"));
    EXPECT_FALSE(locale_is_zh_cn(nullptr, nullptr, "zh_SG.UTF-8"));
    EXPECT_FALSE(locale_is_zh_cn(nullptr, nullptr, nullptr));
    EXPECT_FALSE(locale_is_zh_cn("", "", ""));
}

class ApplyLanguage : public testing::Test {
protected:
    void locale(const char* lang) {
        env_.set("LC_ALL", nullptr);
        env_.set("LC_MESSAGES", nullptr);
        env_.set("LANG", lang);
    }
    ScopedEnv env_;
};

TEST_F(ApplyLanguage, ChineseOnlyOnAChineseSystemWithoutForcing) {
    locale("zh_CN.UTF-8");
    EXPECT_TRUE(system_locale_is_zh_cn());
    UiTexts t;
    t.apply_language();
    EXPECT_FALSE(t.english());
    EXPECT_EQ(t.get(TextId::start_button), "升级");
}

TEST_F(ApplyLanguage, ForcedEnglishOnAChineseSystem) {
    locale("zh_CN.UTF-8");
    UiTexts t;
    t.use_english = true;
    t.apply_language();
    EXPECT_TRUE(t.english());
    EXPECT_EQ(t.get(TextId::start_button), "START");
    EXPECT_TRUE(t.use_english);
}

TEST_F(ApplyLanguage, EnglishOnAnyOtherSystemEvenUnforced) {
    for (const char* lang : {"en_US.UTF-8", "de_DE.UTF-8", "zh_TW.UTF-8", "C"}) {
        locale(lang);
        UiTexts t;
        t.apply_language();
        EXPECT_TRUE(t.english()) << lang;
        EXPECT_FALSE(t.use_english) << "the flag records only the forcing";
        EXPECT_EQ(t.get(TextId::msg_list_empty),
                  "No device selected. Please search for devices or select an IP range first");
    }
    locale(nullptr);
    UiTexts t;
    t.apply_language();
    EXPECT_TRUE(t.english());
}

}  // namespace
}  // namespace quillon

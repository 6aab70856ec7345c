// SPDX-License-Identifier: Apache-2.0
// The text table: exact texts in both languages.
#include "texts/ui_texts.h"

#include <gtest/gtest.h>

#include <set>

#include "texts/fixed_texts.h"

namespace quillon {
namespace {

// The full-width colon, as UTF-8 bytes.
const std::string kColon = "\xEF\xBC\x9A";

TEST(UiTexts, EmptyBeforeTheLanguageIsApplied) {
    UiTexts t;
    for (int i = 0; i < static_cast<int>(TextId::count_); ++i)
        EXPECT_EQ(t.get(static_cast<TextId>(i)), "") << i;
}

TEST(UiTexts, EveryEntryHasATextInBothLanguages) {
    UiTexts zh, en;
    zh.fill(false);
    en.fill(true);
    int same = 0;
    for (int i = 0; i < static_cast<int>(TextId::count_); ++i) {
        auto id = static_cast<TextId>(i);
        EXPECT_FALSE(zh.get(id).empty()) << i;
        EXPECT_FALSE(en.get(id).empty()) << i;
        same += zh.get(id) == en.get(id);
    }
    EXPECT_EQ(same, 2);  // only the title and the IMGZIP checkbox read the same
    EXPECT_FALSE(zh.english());
    EXPECT_TRUE(en.english());
}

TEST(UiTexts, ChineseTexts) {
    UiTexts t;
    t.fill(false);
    EXPECT_EQ(t.get(TextId::title), "Quillon");
    EXPECT_EQ(t.get(TextId::start_button), "升级");
    EXPECT_EQ(t.get(TextId::image4_check), "IMAGE4" + kColon);
    EXPECT_EQ(t.get(TextId::image1_check), "IMAGE1" + kColon);
    EXPECT_EQ(t.get(TextId::worker_label), "线程" + kColon);
    EXPECT_EQ(t.get(TextId::range_check), "搜索IP" + kColon);
    EXPECT_EQ(t.get(TextId::zip_hint), "*** 选中压缩包后将自动填充各镜像路径 ***");
    EXPECT_EQ(t.get(TextId::msg_busy), "正在升级中，请勿操作!");
    EXPECT_EQ(t.get(TextId::msg_none_ticked), "未选中设备,请先勾选设备！");
    EXPECT_EQ(t.get(TextId::ask_force_stop), "是否强行终止升级过程?（设备可能失联）");
    EXPECT_EQ(t.get(TextId::img_filter), "镜像文件(*.img)|*.img||");
    EXPECT_EQ(t.get(TextId::zip_filter), "压缩文件(*.zip)|*.zip||");
    EXPECT_EQ(t.get(TextId::st_lost), "连接断开");
    EXPECT_EQ(t.get(TextId::type_person), "小门口机");
    EXPECT_EQ(t.get(TextId::type_other), "其他");
}

TEST(UiTexts, EnglishTexts) {
    UiTexts t;
    t.fill(true);
    EXPECT_EQ(t.get(TextId::start_button), "START");
    EXPECT_EQ(t.get(TextId::image4_check), "FW" + kColon);
    EXPECT_EQ(t.get(TextId::image3_check), "SYSTEM" + kColon);
    EXPECT_EQ(t.get(TextId::image2_check), "KERNEL" + kColon);
    EXPECT_EQ(t.get(TextId::image1_check), "BOOT" + kColon);
    EXPECT_EQ(t.get(TextId::zip_check), "IMGZIP" + kColon);
    EXPECT_EQ(t.get(TextId::worker_label), "Status:");  // an ASCII colon here
    EXPECT_EQ(t.get(TextId::range_check), "IP Range:");
    EXPECT_EQ(t.get(TextId::zip_hint),
              "* After selecting the compressed package, all image paths will be automatically "
              "populated *");
    EXPECT_EQ(t.get(TextId::msg_list_empty),
              "No device selected. Please search for devices or select an IP range first");
    EXPECT_EQ(t.get(TextId::msg_none_ticked), "No device selected. Please select a device first.");
    EXPECT_EQ(t.get(TextId::msg_batch_done), "The bulk upgrade process stop !");
    EXPECT_EQ(t.get(TextId::ask_force_stop),
              "Should the upgrade process be forcibly terminated? (The device may become "
              "unreachable)");
    EXPECT_EQ(t.get(TextId::img_filter), "ImageFile(*.img)|*.img||");
    EXPECT_EQ(t.get(TextId::zip_filter), "ZipFile(*.zip)|*.zip||");
    EXPECT_EQ(t.get(TextId::st_lost), "Connection lost");
    EXPECT_EQ(t.get(TextId::st_ready), "Ready");
    EXPECT_EQ(t.get(TextId::col_elapsed), "ELAPSED TIME");
    EXPECT_EQ(t.get(TextId::type_all), "ALL");
    EXPECT_EQ(t.get(TextId::type_lift), "LIFT");
}

TEST(UiTexts, FixedTexts) {
    EXPECT_STREQ(fixed_text::kCaption, "Upgrade");
    EXPECT_STREQ(fixed_text::kFakeBurn, "fake burn!");
    EXPECT_STREQ(fixed_text::kBadIp, "无效的IP地址");
    EXPECT_STREQ(fixed_text::kAboutItem, "关于 Quillon(&A)...");
}

}  // namespace
}  // namespace quillon

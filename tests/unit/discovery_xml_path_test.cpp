// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "discovery/xml_path.h"

namespace quillon {
namespace {

std::string printed(const TiXmlNode& node) {
    TiXmlPrinter p;
    p.SetIndent("");
    p.SetLineBreak("");
    node.Accept(&p);
    return p.Str();
}

class XmlPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc.Parse(
            "<event><active>search</active><ip>1.1.1.1</ip><ip>2.2.2.2</ip>"
            "<box>ip<ip>3.3.3.3</ip></box><empty/></event>",
            nullptr, TIXML_ENCODING_LEGACY);
        ASSERT_FALSE(doc.Error());
    }
    TiXmlDocument doc;
};

TEST_F(XmlPathTest, EmptyAndRepeatedSeparatorsAreIgnored) {
    const TiXmlElement* want = doc.FirstChildElement("event")->FirstChildElement("active");
    for (const char* path :
         {"/event/active", "event/active", "//event///active/", "event/active//"}) {
        EXPECT_EQ(find_element(&doc, path), want) << path;
    }
    for (const char* path : {"", "/", "///"}) {
        EXPECT_EQ(find_element(&doc, path), nullptr) << "'" << path << "'";
    }
    EXPECT_EQ(find_element(&doc, nullptr), nullptr);
    EXPECT_EQ(find_element(static_cast<TiXmlNode*>(nullptr), "/event"), nullptr);
}

TEST_F(XmlPathTest, NamesMatchExactlyAndTheFirstMatchWins) {
    EXPECT_STREQ(text_at(&doc, "/event/ip"), "1.1.1.1");
    EXPECT_EQ(find_element(&doc, "/Event/ip"), nullptr);
    EXPECT_EQ(find_element(&doc, "/event/IP"), nullptr);
    EXPECT_EQ(find_element(&doc, "/eve/ip"), nullptr);     // a prefix is no match
    EXPECT_EQ(find_element(&doc, "/event/ipx"), nullptr);  // nor a longer name
    EXPECT_EQ(find_element(&doc, "/event/ip/more"), nullptr);
    // "box" holds a text "ip" before its element "ip": only elements are matched.
    EXPECT_STREQ(text_at(&doc, "/event/box/ip"), "3.3.3.3");
}

TEST_F(XmlPathTest, TextAtIsAbsentForMissingOrChildlessElements) {
    EXPECT_EQ(text_at(&doc, "/event/empty"), nullptr);
    EXPECT_EQ(text_at(&doc, "/event/mac"), nullptr);
    EXPECT_EQ(text_at(&doc, "/"), nullptr);
    // The first child's value: for "box" that is its leading text.
    EXPECT_STREQ(text_at(&doc, "/event/box"), "ip");
}

TEST_F(XmlPathTest, SetTextReplacesEveryChildOfTheFinalElement) {
    ASSERT_EQ(set_text_at(&doc, "/event/box", "new"), 0);
    EXPECT_EQ(printed(*find_element(&doc, "/event/box")), "<box>new</box>");
    ASSERT_EQ(set_text_at(&doc, "//event//ip//", "9.9.9.9"), 0);
    EXPECT_STREQ(text_at(&doc, "/event/ip"), "9.9.9.9");
    // Only the first "ip" is changed; nothing is added.
    const TiXmlElement* second = find_element(&doc, "/event/ip")->NextSiblingElement("ip");
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->GetText(), "2.2.2.2");
    EXPECT_EQ(second->NextSiblingElement("ip"), nullptr);
}

TEST(XmlPathSetText, CreatesMissingElementsAsLastChildren) {
    TiXmlDocument doc;
    doc.Parse("<?xml version=\"1.0\"?>", nullptr, TIXML_ENCODING_LEGACY);
    ASSERT_EQ(set_text_at(&doc, "/event/type", "req"), 0);
    ASSERT_EQ(set_text_at(&doc, "event/active", "search"), 0);
    ASSERT_EQ(set_text_at(&doc, "/event/deep/er", ""), 0);
    EXPECT_EQ(printed(doc),
              "<?xml version=\"1.0\" ?><event><type>req</type><active>search</active>"
              "<deep><er></er></deep></event>");
}

TEST(XmlPathSetText, RefusesAbsentArgumentsAndEmptyPathsWithoutChangingTheDocument) {
    TiXmlDocument doc;
    doc.Parse("<event><ip>1.1.1.1</ip></event>", nullptr, TIXML_ENCODING_LEGACY);
    const std::string before = printed(doc);
    EXPECT_EQ(set_text_at(&doc, nullptr, "x"), -1);
    EXPECT_EQ(set_text_at(&doc, "/event/ip", nullptr), -1);
    EXPECT_EQ(set_text_at(nullptr, "/event/ip", "x"), -1);
    EXPECT_EQ(set_text_at(&doc, "", "x"), -1);
    EXPECT_EQ(set_text_at(&doc, "//", "x"), -1);
    EXPECT_EQ(printed(doc), before);
}

}  // namespace
}  // namespace quillon

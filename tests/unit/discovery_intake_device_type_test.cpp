// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "discovery/device_type.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

struct Worked {
    const char* id;
    int code;
    const char* shown;
};

// The reference values of the id rules, one per branch.
const Worked kWorked[] = {
    {"10001", 3, "10001"},
    {"20000", 1, "20000"},
    {"30000", 255, "30000"},
    {"1019901", 0, "01-01"},
    {"01010101", 4, "01-01-0101"},
    {"1010101", 4, "10-10-1001"},
    {"12345678901", 2, "0345-67-891 "},
    {"A123", 5, "A123"},
};

TEST(IntakeDeviceType, WorkedValues) {
    for (const Worked& w : kWorked) {
        SCOPED_TRACE(w.id);
        EXPECT_EQ(device_type_code(w.id), w.code);
        EXPECT_EQ(format_devid(w.id), w.shown);
        EXPECT_EQ(format_devid(std::string(w.id)), w.shown);
    }
}

TEST(IntakeDeviceType, BoundariesOfTheCodeRanges) {
    EXPECT_EQ(device_type_code("0"), 255);
    EXPECT_EQ(device_type_code("10000"), 255);
    EXPECT_EQ(device_type_code("19999"), 3);
    EXPECT_EQ(device_type_code("20001"), 1);
    EXPECT_EQ(device_type_code("29999"), 1);
    EXPECT_EQ(device_type_code("30001"), 4);
    EXPECT_EQ(device_type_code("10000000000"), 4);  // 10^10 is not above 10^10
    EXPECT_EQ(device_type_code("10000000001"), 2);
    EXPECT_EQ(device_type_code("1000000000000"), 2);  // 10^12 is not above 10^12
    EXPECT_EQ(device_type_code("1000000000001"), 255);
    EXPECT_EQ(device_type_code("9999"), 255);  // 99 in the hundreds, but v <= 30000
    EXPECT_EQ(device_type_code("39900"), 0);
}

TEST(IntakeDeviceType, OnlyTheLeadingDigitsCount) {
    EXPECT_EQ(devid_leading_value("1019901-x"), 1019901u);
    EXPECT_EQ(device_type_code("1019901-x"), 0);
    EXPECT_EQ(format_devid("1019901-x"), "01-01");
    EXPECT_EQ(device_type_code("10001abc"), 3);
    EXPECT_EQ(format_devid("10001abc"), "10001abc");
    // A sign or a blank in front is not a digit.
    EXPECT_EQ(device_type_code("+1019901"), 5);
    EXPECT_EQ(device_type_code(" 1019901"), 5);
    EXPECT_EQ(device_type_code("-1"), 5);
}

TEST(IntakeDeviceType, EmptyAndNullIdsAreCode5AndShownEmpty) {
    EXPECT_EQ(device_type_code(""), 5);
    EXPECT_EQ(device_type_code(static_cast<const char*>(nullptr)), 5);
    EXPECT_EQ(format_devid(""), "");
    EXPECT_EQ(format_devid(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(devid_leading_value(""), 0u);
}

TEST(IntakeDeviceType, HugeDigitStringsSaturateInsteadOfWrapping) {
    EXPECT_EQ(devid_leading_value("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(devid_leading_value("18446744073709551614"), UINT64_MAX - 1);
    EXPECT_EQ(devid_leading_value("18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(devid_leading_value(std::string(5000, '9')), UINT64_MAX);
    // 2^64 + 10001 would wrap to 10001 (CENTER); saturated it stays OTHER.
    EXPECT_EQ(device_type_code("18446744073709561617"), 255);
    std::string huge(100000, '7');
    huge += "<b>";
    EXPECT_EQ(device_type_code(huge), 255);
    EXPECT_EQ(format_devid(huge), huge);
}

TEST(IntakeDeviceType, MonitorFieldsMissingFromTheTextAreZero) {
    // Leading zeros make a short value from a long text and the other way round.
    EXPECT_EQ(device_type_code("0000030001"), 4);
    EXPECT_EQ(format_devid("0000030001"), "00-00-0300");
    EXPECT_EQ(device_type_code("30001"), 4);
    EXPECT_EQ(format_devid("30001"), "30-00-0100");
    EXPECT_EQ(format_devid("123456x789"), "12-34-5600");
    EXPECT_EQ(format_devid("1234567x89"), "12-34-5607");
    EXPECT_EQ(format_devid("1234567890"), "12-34-5678");
}

TEST(IntakeDeviceType, PanelAndPersonForms) {
    EXPECT_EQ(format_devid("9999999999"), "9999-99");  // the largest PANEL value
    EXPECT_EQ(format_devid("1000009900"), "1000-00");
    EXPECT_EQ(format_devid("999999999999"), "0999-99-9999");
    EXPECT_EQ(format_devid("100000000000"), "0000-00-000 ");
    EXPECT_EQ(format_devid("10000000010"), "0000-00-0010");
    EXPECT_EQ(format_devid("1000000000000"), "0000-00-000 ");
    // A PERSON id's trailing text does not reach the display form.
    EXPECT_EQ(format_devid("12345678901<script>"), "0345-67-891 ");
}

TEST(IntakeDeviceType, NamesFollowTheLanguageOfTheTextTable) {
    const bool was_english = ui_texts().english();
    ui_texts().fill(true);
    const char* en[] = {"PANEL", "WALL", "PERSON", "CENTER", "MONITOR", "LIFT"};
    for (int code = 0; code <= 5; ++code) EXPECT_EQ(device_type_name(code), en[code]);
    EXPECT_EQ(device_type_name(255), "OTHER");
    EXPECT_EQ(device_type_name(6), "OTHER");  // no such code: never an empty TYPE cell
    EXPECT_EQ(device_type_name(-1), "OTHER");
    ui_texts().fill(false);
    const char* cn[] = {"单元门口机", "围墙机", "小门口机", "管理机", "室内机", "梯控"};
    for (int code = 0; code <= 5; ++code) EXPECT_EQ(device_type_name(code), cn[code]);
    EXPECT_EQ(device_type_name(255), "其他");
    ui_texts().fill(was_english);
}

}  // namespace
}  // namespace quillon

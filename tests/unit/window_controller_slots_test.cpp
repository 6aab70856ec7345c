// SPDX-License-Identifier: Apache-2.0
// The image slots and the package slot: the start-up state, the five enable and clear rules,
// the browse dialog, the reboot marks and dropped files.
#include "window_controller_fakes.h"

namespace quillon::test {
namespace {

class SlotsTest : public ControllerTest {
protected:
    void expect_slot(int i, bool ticked, bool enabled, const std::string& path) {
        SCOPED_TRACE("slot " + std::to_string(i));
        EXPECT_EQ(view.is_checked(kSlotCheck[i]), ticked);
        EXPECT_EQ(view.is_enabled(kSlotPath[i]), enabled);
        EXPECT_EQ(view.is_enabled(kSlotBrowse[i]), enabled);
        EXPECT_EQ(view.text(kSlotPath[i]), path);
    }
    void click(int id) {
        view.at(id).checked = !view.at(id).checked;
        if (id == IDC_ZIP_CHECK) {
            ctl->on_zip_check();
            return;
        }
        for (int i = 0; i < 4; ++i) {
            if (kSlotCheck[i] == id) ctl->on_slot_check(i);
        }
    }
    // What a package import leaves: the four fields filled and disabled, the package named.
    void as_after_an_import() {
        view.at(IDC_ZIP_PATH).text = "/pkg/fw.zip";
        for (int i = 0; i < 4; ++i) {
            view.at(kSlotPath[i]).text = "/pkg/brelk_upgrade_image/img" + std::to_string(i);
            view.at(kSlotPath[i]).enabled = false;
            view.at(kSlotBrowse[i]).enabled = false;
        }
    }
};

TEST_F(SlotsTest, StartUpIsPackageModeWithTheHint) {
    for (int i = 0; i < 4; ++i) expect_slot(i, false, false, "");
    EXPECT_TRUE(view.is_checked(IDC_ZIP_CHECK));
    EXPECT_TRUE(view.is_enabled(IDC_ZIP_PATH));
    EXPECT_TRUE(view.is_enabled(IDC_ZIP_BROWSE));
    EXPECT_EQ(
        view.text(IDC_ZIP_PATH),
        "* After selecting the compressed package, all image paths will be automatically populated *");
}

TEST_F(SlotsTest, TickingAnImageSlotLeavesPackageModeAndTheEmptiedPackageFieldFreesAllSlots) {
    as_after_an_import();
    click(IDC_KERNEL_CHECK);  // rule 1, then rule 5 through the emptied package field
    for (int i = 0; i < 4; ++i) expect_slot(i, i == 1, true, "");
    EXPECT_FALSE(view.is_checked(IDC_ZIP_CHECK));
    EXPECT_FALSE(view.is_enabled(IDC_ZIP_PATH));
    EXPECT_FALSE(view.is_enabled(IDC_ZIP_BROWSE));
    EXPECT_EQ(view.text(IDC_ZIP_PATH), "");
}

TEST_F(SlotsTest, TickingASlotWithAnEmptyPackageFieldTouchesNoOtherSlot) {
    view.at(IDC_ZIP_PATH).text = "";
    view.at(IDC_FW_PATH).text = "/img/fw.img";
    click(IDC_BOOT_CHECK);  // rule 1 only: the package field does not change
    expect_slot(0, true, true, "");
    expect_slot(3, false, false, "/img/fw.img");
}

TEST_F(SlotsTest, UntickingASlotClearsAndDisablesIt) {
    click(IDC_ZIP_CHECK);  // manual mode: all four ticked and enabled
    view.at(IDC_SYSTEM_PATH).text = "/img/system.img";
    view.at(IDC_BOOT_PATH).text = "/img/boot.img";
    click(IDC_SYSTEM_CHECK);  // rule 2
    expect_slot(2, false, false, "");
    expect_slot(0, true, true, "/img/boot.img");
}

TEST_F(SlotsTest, TickingThePackageBoxDisablesAndEmptiesAllSlots) {
    click(IDC_ZIP_CHECK);
    for (int i = 0; i < 4; ++i) view.at(kSlotPath[i]).text = "/img/" + std::to_string(i);
    click(IDC_ZIP_CHECK);  // rule 3
    for (int i = 0; i < 4; ++i) expect_slot(i, false, false, "");
    EXPECT_TRUE(view.is_enabled(IDC_ZIP_PATH));
    EXPECT_TRUE(view.is_enabled(IDC_ZIP_BROWSE));
}

TEST_F(SlotsTest, UntickingThePackageBoxTicksAllSlotsEmpty) {
    as_after_an_import();
    click(IDC_ZIP_CHECK);  // rule 4; rule 5 empties the four fields
    for (int i = 0; i < 4; ++i) expect_slot(i, true, true, "");
    EXPECT_FALSE(view.is_enabled(IDC_ZIP_PATH));
    EXPECT_FALSE(view.is_enabled(IDC_ZIP_BROWSE));
    EXPECT_EQ(view.text(IDC_ZIP_PATH), "");
}

TEST_F(SlotsTest, OnlyAnEmptiedPackageFieldFreesTheSlots) {
    as_after_an_import();
    view.set_text(IDC_ZIP_PATH, "/pkg/other.zip");  // a change to a non-empty text does nothing
    expect_slot(0, false, false, "/pkg/brelk_upgrade_image/img0");
    view.set_text(IDC_ZIP_PATH, "");  // rule 5: the check boxes are not touched
    for (int i = 0; i < 4; ++i) expect_slot(i, false, true, "");
}

TEST_F(SlotsTest, BrowseWritesTheChosenFileAndACancelChangesNothing) {
    click(IDC_ZIP_CHECK);
    view.files = {"/images/kernel.img"};
    ctl->on_slot_browse(1);
    EXPECT_EQ(view.text(IDC_KERNEL_PATH), "/images/kernel.img");
    EXPECT_EQ(view.filters, std::vector<std::string>{"ImageFile(*.img)|*.img||"});
    ctl->on_slot_browse(1);  // cancelled
    EXPECT_EQ(view.text(IDC_KERNEL_PATH), "/images/kernel.img");
    ctl->on_slot_browse(4);  // no such slot
    EXPECT_EQ(view.filters.size(), 2u);
}

TEST_F(SlotsTest, RebootMarksFollowTheWordInThePath) {
    view.at(IDC_BOOT_PATH).text = "/img/boot.img";
    view.at(IDC_KERNEL_PATH).text = "/img/reboot_kernel.img";
    view.at(IDC_SYSTEM_PATH).text = "/img/Reboot_system.img";
    view.at(IDC_FW_PATH).text = "";
    ctl->mark_reboot_slots();
    EXPECT_EQ(ctl->reboot_after(), (std::array<int, 4>{0, 1, 0, 0}));
}

TEST_F(SlotsTest, DroppedImagesGoToTheTickedSlotsInDropOrder) {
    click(IDC_ZIP_CHECK);     // manual mode, all four ticked
    click(IDC_KERNEL_CHECK);  // unticked again
    ctl->on_drop_files({"/d/a.img", "/d/b.img", "/d/c.txt", "/d/d.img", "/d/e.img"});
    EXPECT_EQ(view.text(IDC_BOOT_PATH), "/d/a.img");
    EXPECT_EQ(view.text(IDC_KERNEL_PATH), "");  // not ticked
    EXPECT_EQ(view.text(IDC_SYSTEM_PATH), "");  // not an image, its position used up
    EXPECT_EQ(view.text(IDC_FW_PATH), "/d/d.img");
    EXPECT_TRUE(view.filters.empty());
}

TEST_F(SlotsTest, ADroppedPackageIsImportedWithoutAFileDialog) {
    ctl->on_drop_files({dir / "missing.zip"});
    EXPECT_EQ(view.text(IDC_ZIP_PATH), dir / "missing.zip");
    EXPECT_TRUE(view.filters.empty());
    EXPECT_TRUE(view.messages.empty());  // nothing there: no package, no message
    // Dropped again later without a package: the dialog is back for the browse button.
    ctl->import_package();
    EXPECT_EQ(view.filters.size(), 1u);
}

}  // namespace
}  // namespace quillon::test

// SPDX-License-Identifier: Apache-2.0
// The reboot flags, the image set for the start command, and dropped files.
#include <gtest/gtest.h>

#include "images/drop_plan.h"
#include "images/image_slots.h"

namespace quillon {
namespace {

TEST(ImageSlots, RebootFlagOnlyForLowerCaseWord) {
    SlotPaths p{"/pkg/brelk_upgrade_image/1_uboot.img",
                "/pkg/brelk_upgrade_image/reboot_kernel.img",
                "/pkg/brelk_upgrade_image/3_REBOOT_rootfs.img", ""};
    EXPECT_EQ(mark_reboot_slots(p), (RebootFlags{0, 1, 0, 0}));
    // Anywhere in the full path counts, also in a folder name.
    SlotPaths q{"/x/rebooting/a.img", "/x/Reboot/b.img", "/x/reBoot.img", "/x/fw_reboot"};
    EXPECT_EQ(mark_reboot_slots(q), (RebootFlags{1, 0, 0, 1}));
}

TEST(ImageSlots, ImageSetCopiesPathsAndNormalisesFlags) {
    std::string long_path = "/" + std::string(1500, 'a') + "/k.img";
    ImageSet set = make_image_set({"/b.img", long_path, "", "/fw.img"}, {7, 0, 1, -1});
    EXPECT_EQ(set.m_url[0], "/b.img");
    EXPECT_EQ(set.m_url[1], long_path);  // a cut path would name another file
    EXPECT_EQ(set.m_reboot_after, (RebootFlags{1, 0, 1, 1}));
    EXPECT_TRUE(set.used(0));
    EXPECT_FALSE(set.used(2));
    EXPECT_EQ(set.used_count(), 3);
    EXPECT_EQ(make_image_set({}, {}).used_count(), 0);
}

TEST(DropPlan, ImagesGoToTickedSlotsByPosition) {
    // a.img, b.txt, c.img with BOOT, KERNEL and SYSTEM ticked: b.txt uses up KERNEL's position.
    DropPlan p = plan_drop({"/d/a.img", "/d/b.txt", "/d/c.img"}, false, {true, true, true, false});
    EXPECT_FALSE(p.zip_dropped);
    EXPECT_EQ(p.slot_paths[0], "/d/a.img");
    EXPECT_FALSE(p.slot_paths[1].has_value());
    EXPECT_EQ(p.slot_paths[2], "/d/c.img");
    EXPECT_FALSE(p.slot_paths[3].has_value());

    // Unticked slots, upper-case extensions and positions past the fourth are ignored.
    p = plan_drop({"/d/a.IMG", "/d/b.img", "/d/c.img", "/d/d.img", "/d/e.img"}, false,
                  {true, false, true, true});
    EXPECT_FALSE(p.slot_paths[0].has_value());
    EXPECT_FALSE(p.slot_paths[1].has_value());
    EXPECT_EQ(p.slot_paths[2], "/d/c.img");
    EXPECT_EQ(p.slot_paths[3], "/d/d.img");
}

TEST(DropPlan, AZipEndsThePackagePassAndStopsTheImagePass) {
    // x.img and y.zip with the package box unticked change nothing.
    DropPlan p = plan_drop({"/d/x.img", "/d/y.zip"}, false, {true, true, true, true});
    EXPECT_TRUE(p.zip_dropped);
    EXPECT_TRUE(p.import_path.empty());
    for (const auto& s : p.slot_paths) EXPECT_FALSE(s.has_value());

    // With the box ticked the first zip is imported; "ZIP" does not count.
    p = plan_drop({"/d/A.ZIP", "/d/one.zip", "/d/two.zip"}, true, {});
    EXPECT_TRUE(p.zip_dropped);
    EXPECT_EQ(p.import_path, "/d/one.zip");
}

}  // namespace
}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#pragma once
// The four image slots (BOOT, KERNEL, SYSTEM, FW), the package slot, the keyword table of the
// package import, and the image set the start command hands to the engine.
#include <array>
#include <string>

#include "texts/ui_texts.h"

namespace quillon {

inline constexpr int kSlotCount = 4;
enum SlotIndex : int { slot_boot = 0, slot_kernel = 1, slot_system = 2, slot_fw = 3 };

// One row of the slot table. The index into kSlots is the image index everywhere in the engine.
struct SlotInfo {
    const char* name;  // "BOOT", "KERNEL", "SYSTEM", "FW"
    const char* role;  // the engine's role name
    char letter;       // the engine's letter
    int check_id;      // control numbers of the main window
    int path_id;
    int browse_id;
    TextId label;  // check box caption
};

inline constexpr std::array<SlotInfo, kSlotCount> kSlots{{
    {"BOOT", "boot", 'B', 1037, 1000, 1001, TextId::image1_check},
    {"KERNEL", "kernel", 'K', 1036, 1004, 1005, TextId::image2_check},
    {"SYSTEM", "system", 'S', 1035, 1007, 1009, TextId::image3_check},
    {"FW", "app", 'A', 1034, 1018, 1019, TextId::image4_check},
}};

struct PackageSlotInfo {
    int check_id;
    int path_id;
    int browse_id;
    TextId label;
};
inline constexpr PackageSlotInfo kPackageSlot{1038, 1021, 1022, TextId::zip_check};

// Keyword table of the package import. Rows run in this order; a later row overwrites an earlier
// row's slot when it matches exactly one file, so "rootfs" beats "system" and "brelk" beats
// "P73Z" beats "K41QX".
struct KeywordRow {
    int pass;             // 1 always runs; 2 runs unless pass 1 filled both BOOT and KERNEL
    const char* keyword;  // compared with the start of the file name, ignoring case
    int slot;
};

inline constexpr std::array<KeywordRow, 11> kKeywordTable{{
    {1, "1_", slot_boot},
    {1, "2_", slot_kernel},
    {1, "3_", slot_system},
    {1, "4_", slot_fw},
    {2, "uboot", slot_boot},
    {2, "kernel", slot_kernel},
    {2, "system", slot_system},
    {2, "rootfs", slot_system},
    {2, "K41QX", slot_fw},
    {2, "P73Z", slot_fw},
    {2, "brelk", slot_fw},
}};

// Texts of the four image path fields, index = slot.
using SlotPaths = std::array<std::string, kSlotCount>;
// Reboot-after flags (0 or 1), index = slot.
using RebootFlags = std::array<int, kSlotCount>;

// 1 for every slot whose path contains "reboot" exactly as written (lower case), else 0;
// an empty path gives 0.
RebootFlags mark_reboot_slots(const SlotPaths& paths);

// What the start command copies into the engine before a batch: the image path of every slot
// (empty = slot not used) and the reboot-after flags.
struct ImageSet {
    SlotPaths m_url;
    RebootFlags m_reboot_after{};

    bool used(int slot) const { return !m_url[slot].empty(); }
    int used_count() const;
};

// The image set from the four path field texts and the reboot-after flags kept by the last
// package import. Flags are normalised to 0/1. Paths are taken whole: a path cut short would name
// another file.
ImageSet make_image_set(const SlotPaths& fields, const RebootFlags& reboot_after);

}  // namespace quillon

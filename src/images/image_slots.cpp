// SPDX-License-Identifier: Apache-2.0
#include "images/image_slots.h"

namespace quillon {

RebootFlags mark_reboot_slots(const SlotPaths& paths) {
    RebootFlags flags{};
    for (int i = 0; i < kSlotCount; ++i)
        flags[i] = paths[i].find("reboot") != std::string::npos ? 1 : 0;
    return flags;
}

int ImageSet::used_count() const {
    int n = 0;
    for (int i = 0; i < kSlotCount; ++i)
        if (used(i)) ++n;
    return n;
}

ImageSet make_image_set(const SlotPaths& fields, const RebootFlags& reboot_after) {
    ImageSet set;
    for (int i = 0; i < kSlotCount; ++i) {
        set.m_url[i] = fields[i];
        set.m_reboot_after[i] = reboot_after[i] != 0 ? 1 : 0;
    }
    return set;
}

}  // namespace quillon

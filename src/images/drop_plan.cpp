// SPDX-License-Identifier: Apache-2.0
#include "images/drop_plan.h"

#include "images/folder_ops.h"

namespace quillon {

DropPlan plan_drop(const std::vector<std::string>& files, bool package_ticked,
                   const std::array<bool, kSlotCount>& slot_ticked) {
    DropPlan plan;
    for (const std::string& f : files) {
        if (file_ext(f) != "zip") continue;
        plan.zip_dropped = true;
        if (package_ticked) plan.import_path = f;
        break;
    }
    if (plan.zip_dropped) return plan;
    for (std::size_t i = 0; i < files.size() && i < static_cast<std::size_t>(kSlotCount); ++i)
        if (file_ext(files[i]) == "img" && slot_ticked[i]) plan.slot_paths[i] = files[i];
    return plan;
}

}  // namespace quillon

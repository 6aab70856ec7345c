// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a drop of files onto the main window does, decided without the window.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "images/image_slots.h"

namespace quillon {

struct DropPlan {
    // A file with the extension "zip" (lower case) was among the dropped files: the image pass
    // does not run. The window sets m_zip_dropped while it handles the drop.
    bool zip_dropped = false;
    // The first such file, to be written into the package field and imported; empty when none
    // was dropped or the package check box is not ticked.
    std::string import_path;
    // Image pass: the path to write into each slot's field, where one goes.
    std::array<std::optional<std::string>, kSlotCount> slot_paths;
};

// `files` in the order the drop lists them; `package_ticked` and `slot_ticked` are the check
// boxes. Package pass first: the first "zip" file ends it. Only without one, the image pass: file
// i (i = 0 to 3) with the extension "img" (lower case) goes to slot i when that slot's box is
// ticked; a file with another extension still uses up its position, later files are ignored.
DropPlan plan_drop(const std::vector<std::string>& files, bool package_ticked,
                   const std::array<bool, kSlotCount>& slot_ticked);

}  // namespace quillon

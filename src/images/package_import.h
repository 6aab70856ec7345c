// SPDX-License-Identifier: Apache-2.0
#pragma once
// The package import without its widgets: unpack a package beside itself and fill the four image
// slots from the folder "brelk_upgrade_image" by file-name keyword.
//
// The window's import operation is, in order:
//   1. delete_previous_import(package field text);
//   2. unless a package was dropped: empty the package field (which empties and enables the
//      image fields) and ask for a package with the file dialog, writing the choice into the field;
//   3. import_package_files(package field text, m_unzip_dir, image field texts, m_reboot_after);
//   4. on ImportStatus::imported, put the texts into the image fields and disable the four image
//      fields and browse buttons.
#include <string>

#include "images/image_slots.h"
#include "images/message_sink.h"

namespace quillon {

// Name of the package's image folder, beside the package.
inline constexpr const char* kImageFolderName = "brelk_upgrade_image";

enum class ImportStatus {
    imported,    // unpacked; the slots hold what was found (possibly nothing)
    no_package,  // nothing exists under the path (empty text, cancelled dialog): no message
    failed,      // a message was shown
};

// The extraction folder of a package path: its folder followed by "/brelk_upgrade_image";
// empty text when the path has no "/".
std::string extraction_folder(const std::string& package_path);

// Deletes the extraction folder of the package named by the package path field, if the field
// holds a path with a separator (the previous import's folder, while the field still names it).
void delete_previous_import(const std::string& package_field);

// Unpacks `package_path` into its own folder and fills the slots:
//  - nothing exists under the path: no_package, nothing changed;
//  - the path has no separator ("/"; also "\\" on Windows): "The file or directory error.",
//    failed;
//  - the extraction folder is deleted and `m_unzip_dir` set to it, then the package unpacked;
//    a failure there: "UnzipFile error.", failed (the slots are not touched);
//  - otherwise all four `slots` are emptied and filled by the keyword table (pass 2 is skipped
//    when pass 1 found both BOOT and KERNEL), `reboot_after` is set from the paths, imported.
ImportStatus import_package_files(const std::string& package_path, std::string& m_unzip_dir,
                                  SlotPaths& slots, RebootFlags& reboot_after, MessageSink& sink);

// Fills the slots from an unpacked image folder by the keyword table (steps 7 to 9 above).
void fill_slots_from_folder(const std::string& folder, SlotPaths& slots);

}  // namespace quillon

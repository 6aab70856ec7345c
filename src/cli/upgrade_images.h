// SPDX-License-Identifier: Apache-2.0
#pragma once
// The image set of a headless batch: four paths given one by one, or one package unpacked beside
// itself and sorted into the slots by file name, as the window's import does.
#include <array>
#include <functional>
#include <string>

#include "cli/upgrade_options.h"

namespace quillon::cli {

struct ChosenImages {
    std::array<std::string, 4> paths;  // absolute; empty = slot not used
    std::array<int, 4> reboot_after{};
    std::string package;  // absolute path of an imported package, else empty
};

// The --package text as an absolute path in `package`; true when it names a file. Only a package
// file leads to the folder beside it being emptied: a folder named there (the unpacked images
// themselves, say) or a mistyped name must not cost that folder.
bool package_is_file(const std::string& option, std::string& package);

// Fills `out` from the options, telling the person through `say`. Returns -1 to go on, else the
// exit code (2: no such package, 3: the package could not be unpacked).
int choose_images(const UpgradeOptions& opt, ChosenImages& out,
                  const std::function<void(const std::string&)>& say);

// Deletes what the import unpacked beside the package, as EXIT does after an import.
void remove_unpacked(const ChosenImages& images);

}  // namespace quillon::cli

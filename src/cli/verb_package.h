// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-cli package PKG [--json]: imports a package as the window does and prints the four
// image slots with their reboot-after flags.
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace quillon {

struct PackageVerbOptions {
    std::string package;  // path of the .zip; a relative path is taken from the working folder
    bool json = false;    // one JSON object on standard output instead of the table
};

// Unpacks the package beside itself into "brelk_upgrade_image" (deleting that folder first) and
// fills the slots by the keyword table. Prints the slots to `out` (a table, or one JSON line);
// messages go to `err`. Returns the exit code: 0 when at least one slot was filled, 1 otherwise
// (no such file, the archive could not be unpacked, or no file matched any keyword).
int run_package_verb(const PackageVerbOptions& opts, std::ostream& out, std::ostream& err);

// Adds the "package" subcommand to the tool's command line. After parsing, when the returned
// subcommand was given (`*sub` is true), the caller runs run_package_verb(opts, ...).
CLI::App* add_package_verb(CLI::App& app, PackageVerbOptions& opts);

}  // namespace quillon

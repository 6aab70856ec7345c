// SPDX-License-Identifier: Apache-2.0
// Registers the package verb (quillon_cli_package) in the tool's verb table.
#include <iostream>
#include <memory>

#include "cli/package_verb.h"
#include "cli/verbs.h"

namespace quillon::cli {

void add_package_verb(CLI::App& app, VerbAction& action) {
    auto opts = std::make_shared<PackageVerbOptions>();
    CLI::App* sub = quillon::add_package_verb(app, *opts);
    sub->callback([opts, &action] {
        action = [opts] { return run_package_verb(*opts, std::cout, std::cerr); };
    });
}

}  // namespace quillon::cli

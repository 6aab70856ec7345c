// SPDX-License-Identifier: Apache-2.0
// quillon-cli: discovery, upgrades and packages without a window.
#include <cstdio>

#include "cli/upgrade_verb.h"
#include "cli/verbs.h"
#include "platform/program_start.h"
#include "quillon_version.h"
#ifdef QUILLON_LAB_TIMING
// quillon-cli-lab only (a target of the lab tests, never installed): shortened timings.
#include "test_timing.h"
#endif

int main(int argc, char** argv) {
    using namespace quillon::cli;
    quillon::ProgramStart start(argc, argv);
#ifdef QUILLON_LAB_TIMING
    if (apply_test_timing_from_env())
        std::fprintf(stderr, "quillon-cli-lab: shortened test timings\n");
#endif
    CLI::App app{"Finds and upgrades intercom devices on the local network, without a window.",
                 "quillon-cli"};
    app.set_version_flag("--version", std::string("quillon-cli ") + quillon::kVersion);
    app.require_subcommand(1);
    VerbAction action;

    // One line per verb.
    add_search_verb(app, action);
    add_package_verb(app, action);
    add_upgrade_verb(app, action);
    add_history_verb(app, action);
    add_adapters_verb(app, action);  // the adapters, in the order the default is picked by

    try {
        app.parse(start.argc(), start.argv());
    } catch (const CLI::ParseError& e) {
        // --help is a success; every other parse error is a usage error.
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }
    return action ? action() : kExitUsage;
}

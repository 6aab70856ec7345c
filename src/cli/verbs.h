// SPDX-License-Identifier: Apache-2.0
#pragma once
// The verbs of quillon-cli. Each verb lives in verb_<name>.cpp and has one add_<name>_verb,
// which declares its options on `app` and, when the verb is chosen on the command line, sets
// `action` to the code that runs it. The action returns the process exit code.
#include <CLI/CLI.hpp>

#include <functional>

namespace quillon::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the verb ran and could not do its job
constexpr int kExitUsage = 2;    // the command line asked for something impossible

using VerbAction = std::function<int()>;

void add_search_verb(CLI::App& app, VerbAction& action);
void add_package_verb(CLI::App& app, VerbAction& action);
void add_history_verb(CLI::App& app, VerbAction& action);
// quillon-cli adapters (verb_adapters.cpp)
void add_adapters_verb(CLI::App& app, VerbAction& action);

}  // namespace quillon::cli

// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-cli upgrade: a whole batch without a window.
#include <CLI/CLI.hpp>

#include <functional>

namespace quillon::cli {

// Declares the verb and its options on `app`; when the verb is chosen, sets `action` to the code
// that runs it (its result is the exit code).
void add_upgrade_verb(CLI::App& app, std::function<int()>& action);

}  // namespace quillon::cli

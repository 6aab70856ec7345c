// SPDX-License-Identifier: Apache-2.0
#pragma once
// One whole batch without a window: the engine, the discovery endpoint and its intake, the logs
// and the batch driver behind the headless window, with a progress display, Ctrl-C as the
// graceful stop, a summary and an exit code.
#include "cli/upgrade_options.h"

namespace quillon::cli {

// Exit codes of `quillon-cli upgrade` (0, 1 and 2 are those of every verb).
constexpr int kExitAllUpgraded = 0;
constexpr int kExitSomeFailed = 1;  // a device failed or was not begun, or the batch could not run
constexpr int kExitBadUsage = 2;
constexpr int kExitImagesBad = 3;      // the image set failed its check
constexpr int kExitNothingToDo = 4;    // no device to upgrade (none found, none answered)
constexpr int kExitNotBack = 5;        // every device took its images, some did not come back
constexpr int kExitInterrupted = 130;  // Ctrl-C before the batch began, or a second Ctrl-C

// Runs the batch; `opt` has passed the command line's checks. Returns the exit code.
int run_upgrade(const UpgradeOptions& opt);

}  // namespace quillon::cli

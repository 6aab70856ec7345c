// SPDX-License-Identifier: Apache-2.0
#pragma once
// The site list's devices in the batch's summary: every listed device once, in the list's order,
// with its name; those left out of the batch as "not found" or "conflict".
#include <functional>
#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "cli/site_search.h"

namespace quillon::cli {

// `devices` (the batch's rows) reordered as the list and completed: the listed name of each, and
// an entry for every listed device that was not found or refused. A row the list does not hold
// (none is expected) stays, after the listed ones.
void merge_site_outcomes(std::vector<DeviceSummary>& devices, const std::vector<SiteCheck>& checks);

// When no listed device could be listed: the summary (JSON or table) on `out_fd` and the CSV,
// without a batch. Returns `rc`, or 1 when an output could not be written.
int summary_without_batch(const std::vector<SiteCheck>& checks, int rc, bool json,
                          const std::string& csv_path, int out_fd, const std::string& report_path,
                          const std::function<void(const std::string&)>& message);

}  // namespace quillon::cli

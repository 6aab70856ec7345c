// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices of a headless batch that need attention (failed, not back, back with the old
// version, not found, not started): the report's SUMMARY lines, the line of their addresses after
// the table, the site list of --failed-to and their place in the JSON summary.
#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "engine/summary_lines.h"

namespace quillon::cli {

// Every device of the summary as the SUMMARY lines take it, in list order. `come_back_limit_s`:
// the limit a device not back was waited for (-1 not known).
std::vector<DeviceOutcome> summary_outcomes(const SummaryDoc& doc, int come_back_limit_s = -1);

// Printed last, after the table: a line that says what follows, then the addresses on one line
// separated by blanks (to paste after --device, which takes several, or into a site list).
// Empty when no device needs attention.
std::string failed_lines(const std::vector<DeviceOutcome>& attention);

// The site list of --failed-to: the header "ip,mac,name" and one device a line; fields with a
// comma or a quote are quoted CSV-style; line breaks and other control characters in a field
// become blanks, so that each device stays on its line.
std::string site_list_csv(const std::vector<DeviceOutcome>& attention);

// The JSON array of the devices that need attention: ip, mac, name and outcome (the kind's
// words: "failed", "not back", "back with the old version", "not found", "not started").
std::string attention_json(const std::vector<DeviceOutcome>& attention);

// Writes site_list_csv to `path`; false when it could not be written whole.
bool write_site_list(const std::string& path, const std::vector<DeviceOutcome>& attention);

}  // namespace quillon::cli

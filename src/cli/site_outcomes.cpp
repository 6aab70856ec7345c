// SPDX-License-Identifier: Apache-2.0
#include "cli/site_outcomes.h"

#include <cstdio>
#include <memory>

#include "platform/console_streams.h"
#include "platform/files.h"

namespace quillon::cli {
namespace {

DeviceSummary left_out(const SiteCheck& c) {
    DeviceSummary d;
    d.ip = c.device.ip;
    d.mac = c.device.mac;
    d.name = c.device.name;
    d.outcome = c.state == SiteState::not_found ? "not found" : "conflict";
    return d;
}

}  // namespace

void merge_site_outcomes(std::vector<DeviceSummary>& devices,
                         const std::vector<SiteCheck>& checks) {
    std::vector<DeviceSummary> merged;
    std::vector<bool> taken(devices.size(), false);
    for (const SiteCheck& c : checks) {
        if (c.state != SiteState::found) {
            merged.push_back(left_out(c));
            continue;
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (taken[i] || devices[i].ip != c.device.ip) continue;
            taken[i] = true;
            merged.push_back(devices[i]);
            merged.back().name = c.device.name;
            break;
        }
    }
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!taken[i]) merged.push_back(devices[i]);
    devices = std::move(merged);
}

int summary_without_batch(const std::vector<SiteCheck>& checks, int rc, bool json,
                          const std::string& csv_path, int out_fd, const std::string& report_path,
                          const std::function<void(const std::string&)>& message) {
    SummaryDoc doc;
    doc.mode = "list";
    doc.report_path = report_path;
    for (const SiteCheck& c : checks) doc.devices.push_back(left_out(c));
    if (!csv_path.empty()) {
        const std::string text = summary_csv(doc);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> csv(open_for_writing(csv_path),
                                                            &std::fclose);
        const bool written = csv &&
                             std::fwrite(text.data(), 1, text.size(), csv.get()) == text.size() &&
                             std::fclose(csv.release()) == 0;
        if (!written) message("upgrade: cannot write " + csv_path + ": the device list is missing");
    }
    doc.exit_code = rc;
    if (!write_all_fd(out_fd, json ? summary_json(doc) : summary_table(doc))) return 1;
    return rc;
}

}  // namespace quillon::cli

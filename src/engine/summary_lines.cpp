// SPDX-License-Identifier: Apache-2.0
#include "engine/summary_lines.h"

#include <array>

#include "log/log_file.h"

namespace quillon {
namespace {

constexpr std::array kKinds = {OutcomeKind::upgraded_back,    OutcomeKind::upgraded_unchecked,
                               OutcomeKind::failed,           OutcomeKind::not_back,
                               OutcomeKind::back_old_version, OutcomeKind::not_found,
                               OutcomeKind::conflict,         OutcomeKind::not_started};

// The slots as the window and the command line name them.
constexpr const char* kSlotName[4] = {"BOOT", "KERNEL", "SYSTEM", "FW"};

std::string what_happened(const DeviceOutcome& d) {
    switch (d.kind) {
        case OutcomeKind::failed: {
            std::string t = d.failed_slot >= 0 && d.failed_slot < 4
                                ? std::string("the ") + kSlotName[d.failed_slot] + " image failed"
                                : std::string("the upgrade failed");
            if (d.passes > 1) t += " (tried in " + std::to_string(d.passes) + " passes)";
            return t;
        }
        case OutcomeKind::not_back:
            return d.seconds >= 0 ? "upgraded, but no answer within " + std::to_string(d.seconds) +
                                        " s of its reboot"
                                  : "upgraded, but no answer after its reboot";
        case OutcomeKind::back_old_version:
            return "answered after its reboot with its old version " + d.version;
        case OutcomeKind::not_found: return "no answer to the search: not upgraded";
        case OutcomeKind::conflict:
            return "another MAC or a second device answered at its address: not upgraded";
        case OutcomeKind::not_started: return "the batch ended before it was begun";
        case OutcomeKind::upgraded_back:
        case OutcomeKind::upgraded_unchecked: break;
    }
    return std::string();
}

}  // namespace

int failed_slot_of(unsigned loaded_slots, unsigned slots_done) {
    for (int j = 0; j < 4; ++j)
        if ((loaded_slots & (1u << j)) && !(slots_done & (1u << j))) return j;
    return -1;
}

const char* outcome_words(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::upgraded_back: return "upgraded and back";
        case OutcomeKind::upgraded_unchecked: return "upgraded (come-back not checked)";
        case OutcomeKind::failed: return "failed";
        case OutcomeKind::not_back: return "not back";
        case OutcomeKind::back_old_version: return "back with the old version";
        case OutcomeKind::not_found: return "not found";
        case OutcomeKind::conflict: return "refused as a conflict";
        case OutcomeKind::not_started: return "not started";
    }
    return "";
}

bool needs_attention(OutcomeKind kind) {
    return kind != OutcomeKind::upgraded_back && kind != OutcomeKind::upgraded_unchecked;
}

std::vector<DeviceOutcome> needing_attention(const std::vector<DeviceOutcome>& devices) {
    std::vector<DeviceOutcome> out;
    for (OutcomeKind k : kKinds) {
        if (!needs_attention(k)) continue;
        for (const DeviceOutcome& d : devices)
            if (d.kind == k) out.push_back(d);
    }
    return out;
}

std::vector<std::string> summary_lines(const std::vector<DeviceOutcome>& devices) {
    std::vector<std::string> lines;
    if (devices.empty()) return lines;
    std::string counts = std::to_string(devices.size()) +
                         (devices.size() == 1 ? " device:" : " devices:");
    bool first = true;
    for (OutcomeKind k : kKinds) {
        std::size_t n = 0;
        for (const DeviceOutcome& d : devices) n += d.kind == k ? 1 : 0;
        if (n == 0) continue;
        counts += (first ? " " : ", ") + std::to_string(n) + " " + outcome_words(k);
        first = false;
    }
    lines.push_back(counts);
    for (const DeviceOutcome& d : needing_attention(devices)) {
        std::string line = std::string(outcome_words(d.kind)) + ": IP:" + d.ip +
                           " MAC:" + (d.mac.empty() ? "-" : d.mac);
        if (!d.name.empty()) line += " \"" + d.name + "\"";
        lines.push_back(line + ", " + what_happened(d));
    }
    return lines;
}

void write_summary_lines(LogFile& report, const std::vector<DeviceOutcome>& devices) {
    // The report escapes what it is given: a name from a site list adds no markup.
    for (const std::string& line : summary_lines(devices))
        report.WriteTagged("SUMMARY", "%s", line.c_str());
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#pragma once
// The end of a batch in the user report, failures first: one line with the count of each kind of
// outcome, then one line per device that needs attention (failed, not back after its reboot, back
// with its old version, not found, refused as a conflict, not started). Both programs make the lines here from their own list of outcomes, so the
// report reads the same whichever program ran the batch. Report lines are English in both
// languages, as every other report line.
#include <string>
#include <vector>

namespace quillon {

class LogFile;

// In the order the counts line names them.
enum class OutcomeKind {
    upgraded_back,       // took its images and answered again after its reboot
    upgraded_unchecked,  // took its images; the come-back was not checked (off, simulated, stopped)
    failed,              // an image failed all its attempts (in every pass it was tried in)
    not_back,            // took its images but did not answer within the come-back limit
    back_old_version,  // answered after its reboot with the version it had: the image did not boot
    not_found,         // a listed device that did not answer the search: not upgraded
    conflict,          // a listed device refused: another MAC or a second device at its address
    not_started,       // chosen, but the batch ended before a worker took it
};

struct DeviceOutcome {
    std::string ip, mac;
    std::string name;  // the site list's name for the device; empty when none
    OutcomeKind kind = OutcomeKind::not_started;
    int failed_slot = -1;  // failed: the image slot that failed (0..3), -1 when not known
    int passes = 0;        // failed: the passes it was tried in
    int seconds = -1;      // not back: the limit it was waited for, -1 when not known
    std::string version;   // back with the old version: the version it answered with
};

// The slot of the image that failed: the first loaded slot (bit = slot) that did not finish on
// the device, the images going in slot order. -1 when every loaded image finished.
int failed_slot_of(unsigned loaded_slots, unsigned slots_done);

// The words of a kind in the counts line ("upgraded and back", "failed", ...).
const char* outcome_words(OutcomeKind kind);
// True for the kinds that get a line of their own.
bool needs_attention(OutcomeKind kind);

// The devices that need attention, grouped by kind in the counts' order and in the given order
// within a kind: the order of their SUMMARY lines.
std::vector<DeviceOutcome> needing_attention(const std::vector<DeviceOutcome>& devices);

// The messages of the SUMMARY lines, without the report's time stamp and tag: the counts
// ("24 devices: 21 upgraded and back, 2 failed, 1 not back"; kinds without a device left out),
// then the devices that need attention, grouped by kind in the counts' order and in the given
// order within a kind. No device at all: no line.
std::vector<std::string> summary_lines(const std::vector<DeviceOutcome>& devices);

// Writes summary_lines to the report with the tag "SUMMARY".
void write_summary_lines(LogFile& report, const std::vector<DeviceOutcome>& devices);

}  // namespace quillon

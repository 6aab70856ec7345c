// SPDX-License-Identifier: Apache-2.0
#pragma once
// `quillon-cli upgrade --resume [JOURNAL]`: the unfinished batch to continue, its images checked
// against the journal, and the devices it still owes.
#include <functional>
#include <string>
#include <vector>

#include "cli/upgrade_images.h"
#include "journal/journal_doc.h"

namespace quillon::cli {

struct ResumePlan {
    std::string journal_path;  // the journal continued
    JournalDoc doc;
    ChosenImages images;                 // the journal's images, each checked
    std::vector<JournalDevice> pending;  // its devices that did not succeed, in its order
};

// Finds the journal (`journal` as given, else the newest unfinished one in `log_folder`), checks
// that every image file is still the one the batch used, and fills `plan`. Tells the person
// through `say`. Returns -1 to go on, else the exit code: 2 (no such journal, not an unfinished
// batch, an image missing or changed), 0 (every device of that batch is already upgraded).
int plan_resume(const std::string& log_folder, const std::string& journal, ResumePlan& plan,
                const std::function<void(const std::string&)>& say);

// The crc32 and size of a whole file; false when it cannot be read.
bool file_crc32(const std::string& path, uint32_t& crc, uint64_t& size);

// Which listed row is each pending device: by MAC first, else by address when the address does
// not hold a device with another MAC. `rows` are (ip, mac) of the list. Returns, per pending
// device, the row index or -1.
std::vector<int> match_pending(const std::vector<JournalDevice>& pending,
                               const std::vector<std::pair<std::string, std::string>>& rows);

}  // namespace quillon::cli

namespace quillon {
class HeadlessWindow;
class DeviceIntake;
}  // namespace quillon

namespace quillon::cli {

// After the search: ticks the rows of the pending devices (found again by MAC, else by address)
// and unticks every other row; a pending device the search did not find is listed as a named
// device at its address. Tells the person of every device it cannot take. Returns the number of
// devices ticked.
int list_pending_devices(HeadlessWindow& window, DeviceIntake& intake,
                         const std::vector<JournalDevice>& pending,
                         const std::function<void(const std::string&)>& say);

}  // namespace quillon::cli

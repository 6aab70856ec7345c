// SPDX-License-Identifier: Apache-2.0
#include "journal/unfinished_batch.h"

#include <algorithm>
#include <cctype>

#include "contract/window_port.h"
#include "journal/journal_files.h"

namespace quillon {
namespace {

bool same_mac(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool newest_journal_unfinished(const std::string& folder, JournalDoc& doc) {
    const auto journals = list_journals(folder);
    if (journals.empty()) return false;
    return read_journal(journals.front(), doc) && doc.valid && !doc.finished;
}

int untick_upgraded(WindowPort& list, const JournalDoc& doc) {
    int unticked = 0;
    const int rows = list.row_count();
    for (int r = 0; r < rows; ++r) {
        const std::string ip = list.device_text(r, DeviceField::ip);
        const std::string mac = list.device_text(r, DeviceField::mac);
        const bool done = std::any_of(doc.devices.begin(), doc.devices.end(),
                                      [&](const JournalDevice& d) {
                                          if (!d.succeeded) return false;
                                          if (!d.mac.empty() && !mac.empty())
                                              return same_mac(d.mac, mac);
                                          return !d.ip.empty() && d.ip == ip;
                                      });
        if (!done) continue;
        if (list.get_check(r)) list.set_check(r, false);
        ++unticked;
    }
    return unticked;
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include "cli/resume_plan.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "cli/upgrade_run.h"
#include "discovery/intake.h"
#include "window/headless_window.h"
#include "engine/text_format.h"
#include "engine/upgrade_engine.h"
#include "journal/journal_files.h"
#include "log/log_dir.h"
#include "platform/files.h"

namespace quillon::cli {
namespace {

bool same_mac(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string upper_role(int slot) {
    static const char* names[kSlots] = {"BOOT", "KERNEL", "SYSTEM", "FW"};
    return names[slot];
}

}  // namespace

bool file_crc32(const std::string& path, uint32_t& crc, uint64_t& size) {
    ReadOnlyFile in(path);
    uint64_t total = 0;
    if (!in.valid() || !in.regular_size(total)) return false;
    std::vector<char> buf(1 << 20);
    uLong c = ::crc32(0L, Z_NULL, 0);
    for (uint64_t at = 0; at < total;) {
        const std::size_t n = std::size_t(std::min<uint64_t>(buf.size(), total - at));
        if (!in.read_at(buf.data(), n, at)) return false;
        c = ::crc32(c, reinterpret_cast<const Bytef*>(buf.data()), uInt(n));
        at += n;
    }
    size = total;
    crc = uint32_t(c);
    return true;
}

std::vector<int> match_pending(const std::vector<JournalDevice>& pending,
                               const std::vector<std::pair<std::string, std::string>>& rows) {
    std::vector<int> match(pending.size(), -1);
    std::vector<bool> taken(rows.size(), false);
    for (std::size_t p = 0; p < pending.size(); ++p) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!taken[r] && same_mac(pending[p].mac, rows[r].second)) {
                match[p] = int(r);
                taken[r] = true;
                break;
            }
        }
    }
    for (std::size_t p = 0; p < pending.size(); ++p) {
        if (match[p] >= 0) continue;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (taken[r] || rows[r].first != pending[p].ip) continue;
            // Another device now holds the address: it is not ours to upgrade.
            if (!pending[p].mac.empty() && !rows[r].second.empty()) break;
            match[p] = int(r);
            taken[r] = true;
            break;
        }
    }
    return match;
}

int plan_resume(const std::string& log_folder, const std::string& journal, ResumePlan& plan,
                const std::function<void(const std::string&)>& say) {
    if (journal.empty()) {
        plan.journal_path = newest_unfinished_journal(log_folder);
        if (plan.journal_path.empty()) {
            say("upgrade --resume: no unfinished batch in " + log_folder);
            return kExitBadUsage;
        }
    } else {
        plan.journal_path = journal;
        // A bare file name is looked for in the log folder, as history lists them.
        if (!path_exists(journal) && file_name_of(journal) == journal)
            plan.journal_path = join_path(log_folder, journal);
    }
    if (!read_journal(plan.journal_path, plan.doc)) {
        say("upgrade --resume: cannot read " + plan.journal_path);
        return kExitBadUsage;
    }
    const JournalDoc& doc = plan.doc;
    if (!doc.valid) {
        say("upgrade --resume: " + plan.journal_path + " is no batch journal");
        return kExitBadUsage;
    }
    if (doc.finished) {
        say("upgrade --resume: the batch of " + plan.journal_path + " ended on " + doc.ended +
            "; only an unfinished batch is resumed");
        return kExitBadUsage;
    }
    if (doc.bad_lines > 0)
        say("warning: " + std::to_string(doc.bad_lines) + " line(s) of " + plan.journal_path +
            " could not be read and were skipped");

    for (const JournalImage& im : doc.images) {
        uint32_t crc = 0;
        uint64_t size = 0;
        if (!file_crc32(im.path, crc, size)) {
            say("upgrade --resume: the " + upper_role(im.slot) + " image " + im.path +
                " cannot be read: nothing was upgraded");
            return kExitBadUsage;
        }
        if (crc != im.file_crc32 || size != im.size) {
            say("upgrade --resume: the " + upper_role(im.slot) + " image " + im.path +
                " is not the file the batch began with (CRC " + hex32(crc) + ", " +
                std::to_string(size) + " bytes; the journal has CRC " + hex32(im.file_crc32) +
                ", " + std::to_string(im.size) + " bytes): nothing was upgraded");
            return kExitBadUsage;
        }
        plan.images.paths[std::size_t(im.slot)] = im.path;
        plan.images.reboot_after[std::size_t(im.slot)] = im.reboot_after ? 1 : 0;
    }

    for (const JournalDevice& d : doc.devices)
        if (!d.succeeded) plan.pending.push_back(d);
    say("Resuming " + journal_file_name(plan.journal_path) + " (begun " + doc.started +
        "): " + std::to_string(doc.succeeded()) + " device(s) done, " +
        std::to_string(plan.pending.size()) + " to go");
    if (doc.mode == "range")
        say("note: that batch scanned " + doc.range +
            "; the addresses it had not reached yet are "
            "not scanned again");
    if (plan.pending.empty()) {
        say("Every device of that batch is upgraded already: nothing to do");
        return kExitAllUpgraded;
    }
    return -1;
}

int list_pending_devices(HeadlessWindow& w, DeviceIntake& intake,
                         const std::vector<JournalDevice>& pending,
                         const std::function<void(const std::string&)>& say) {
    std::vector<std::pair<std::string, std::string>> rows;
    w.run([&] {
        const DeviceTable& t = w.device_table();
        for (int r = 0; r < t.row_count(); ++r)
            rows.emplace_back(t.get_cell(r, col_ip), t.get_cell(r, col_mac));
    });
    const std::vector<int> match = match_pending(pending, rows);
    std::vector<bool> tick(rows.size(), false);
    for (int m : match)
        if (m >= 0) tick[std::size_t(m)] = true;
    w.run([&] {
        DeviceTable& t = w.device_table();
        for (int r = 0; r < t.row_count() && r < int(tick.size()); ++r)
            t.set_check(r, tick[std::size_t(r)]);
    });
    int ticked = 0;
    for (std::size_t p = 0; p < pending.size(); ++p) {
        const JournalDevice& d = pending[p];
        if (match[p] >= 0) {
            ++ticked;
            const auto& row = rows[std::size_t(match[p])];
            if (row.first != d.ip)
                say("note: " + d.mac + " is now at " + row.first + " (was " + d.ip + ")");
            continue;
        }
        const bool address_taken = std::any_of(rows.begin(), rows.end(),
                                               [&](const auto& r) { return r.first == d.ip; });
        if (address_taken) {
            say("upgrade --resume: " + d.ip + " now answers with another MAC than " + d.mac +
                ": that device is left out");
            continue;
        }
        // Not seen by the search: taken by its address, as --device names one.
        const int row = intake.add_named_device(d.ip);
        if (row < 0) {
            say("upgrade --resume: " + d.ip + " cannot be listed: that device is left out");
            continue;
        }
        if (!d.mac.empty()) w.run([&] { w.device_table().set_cell(row, col_mac, d.mac); });
        ++ticked;
    }
    return ticked;
}

}  // namespace quillon::cli

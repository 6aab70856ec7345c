// SPDX-License-Identifier: Apache-2.0
#pragma once
// A batch journal as read back: what the batch was started with and how far each of its devices
// got. Built by read_journal from the file's lines; the lines themselves are in batch_journal.h.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct JournalImage {
    int slot = 0;             // 0..3 = BOOT, KERNEL, SYSTEM, FW
    std::string path;         // as loaded (absolute)
    uint64_t size = 0;        // bytes of the file, trailer included
    uint32_t file_crc32 = 0;  // zlib crc32 of the whole file
    bool reboot_after = false;
};

struct JournalDevice {
    int row = -1;  // the device's row in its batch: the key of the lines
    std::string ip, mac;
    bool listed = false;            // named in the start line (ticked at START)
    int visits = 0;                 // times a worker took it
    bool in_flight = false;         // taken, and no end followed (the batch died in its middle)
    bool succeeded = false;         // ended with success
    bool failed = false;            // its last end was a failure
    unsigned slots_done = 0;        // images finished in its last visit (bit = slot)
    std::optional<bool> came_back;  // the come-back check's result, when it had one
};

struct JournalDoc {
    bool valid = false;  // a start line was read: this is a journal
    std::string id;
    std::string started, ended;  // local times "YYYY-MM-DD hh:mm:ss"; ended empty = unfinished
    bool finished = false;       // the end line was read
    bool stopped = false;        // the batch was stopped on request
    std::string continues;       // file name of the journal this batch resumed, or empty
    std::string mode;            // "list" or "range"
    std::string range;           // "A.B.C.D-E" in range mode
    int threads = 2;
    bool auto_retry = false;
    bool fake_burn = false;
    int canary = 0;              // the canary's devices; 0 = none (also a journal from before it)
    std::string max_failed;      // "N" or "P%"; empty = none
    bool canary_passed = false;  // the canary's verdict came, and it passed
    std::string halted_by;       // the rule that ended the batch ("canary", "max_failed"), if any
    std::string adapter, adapter_address;
    std::vector<JournalImage> images;
    std::vector<JournalDevice> devices;  // in the order first named

    int lines = 0;           // whole lines read
    int bad_lines = 0;       // lines skipped: not JSON, not an object, fields of the wrong kind
    bool torn_tail = false;  // the last line had no end (cut by a crash) and was skipped

    int succeeded() const;
    int failed() const;    // ended, and its last end a failure
    int not_back() const;  // checked and not back
    int pending() const;   // not succeeded: what a resume runs
    const JournalDevice* find_row(int row) const;
};

// Reads a journal's text. Never throws; lines it cannot use are counted and skipped.
JournalDoc read_journal_text(std::string_view text);
// Reads the file at `path`; false (and `doc` invalid) when it cannot be read or is too large to
// be a journal.
bool read_journal(const std::string& path, JournalDoc& doc);

}  // namespace quillon

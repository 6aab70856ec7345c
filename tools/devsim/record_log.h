// SPDX-License-Identifier: Apache-2.0
#pragma once
// The record of what every device received: one JSON object per line and per connection,
// flushed at once so that a test can read it while the simulator runs.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::devsim {

struct ConnectionRecord {
    std::string device;         // the device's address
    std::string peer;           // the tool's address and port
    int attempt = 0;            // 1 for the device's first connection since the simulator started
    std::string header_hex;     // the header bytes received (fewer than 204 when cut short)
    uint32_t length = 0;        // the header's length field (0 when no whole header came)
    uint64_t received = 0;      // image bytes received
    uint32_t digest = 0;        // zlib crc32 of the image bytes received, as they arrived
    uint32_t header_crc = 0;    // the header's crc field
    uint32_t computed_crc = 0;  // the device's checksum of the bytes received
    std::string checksum;       // "ok", "bad" or "none" (not all bytes arrived)
    std::vector<std::string> sent;  // records sent: "S10", "B100", "F1", "X9" (unknown code)
    int reboot_records = 0;         // reboot records received
    int other_records = 0;          // other records received after the image
    std::string result;             // success, failed, dropped, hung, closed, aborted, timeout
    std::string reason;             // why F was 0: checksum, length, fault, fail-first
};

class RecordLog {
public:
    RecordLog() = default;
    RecordLog(const RecordLog&) = delete;
    RecordLog& operator=(const RecordLog&) = delete;
    ~RecordLog();

    // An empty path keeps no record. Returns false when the file cannot be created.
    bool open(const std::string& path);
    void write(const ConnectionRecord& rec);

private:
    std::mutex mutex_;  // owner: write(); guards file_
    std::FILE* file_ = nullptr;
};

std::string to_json(const ConnectionRecord& rec);

}  // namespace quillon::devsim

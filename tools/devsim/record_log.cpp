// SPDX-License-Identifier: Apache-2.0
#include "record_log.h"

#include <cstdio>

namespace quillon::devsim {

namespace {

void append_string(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string hex32(uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

}  // namespace

std::string to_json(const ConnectionRecord& r) {
    std::string out = "{\"device\":";
    append_string(out, r.device);
    out += ",\"peer\":";
    append_string(out, r.peer);
    out += ",\"attempt\":" + std::to_string(r.attempt);
    out += ",\"header\":";
    append_string(out, r.header_hex);
    out += ",\"length\":" + std::to_string(r.length);
    out += ",\"received\":" + std::to_string(r.received);
    out += ",\"digest\":\"" + hex32(r.digest) + "\"";
    out += ",\"header_crc\":\"" + hex32(r.header_crc) + "\"";
    out += ",\"computed_crc\":\"" + hex32(r.computed_crc) + "\"";
    out += ",\"checksum\":";
    append_string(out, r.checksum);
    out += ",\"sent\":[";
    for (std::size_t i = 0; i < r.sent.size(); ++i) {
        if (i) out += ',';
        append_string(out, r.sent[i]);
    }
    out += "],\"reboot_records\":" + std::to_string(r.reboot_records);
    out += ",\"other_records\":" + std::to_string(r.other_records);
    out += ",\"result\":";
    append_string(out, r.result);
    out += ",\"reason\":";
    append_string(out, r.reason);
    out += '}';
    return out;
}

RecordLog::~RecordLog() {
    if (file_) std::fclose(file_);
}

bool RecordLog::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void RecordLog::write(const ConnectionRecord& rec) {
    const std::string line = to_json(rec) + "\n";
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace quillon::devsim

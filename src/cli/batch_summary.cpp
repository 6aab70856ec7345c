// SPDX-License-Identifier: Apache-2.0
#include "cli/batch_summary.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "cli/failed_devices.h"
#include "cli/text_out.h"
#include "engine/text_format.h"
#include "engine/upgrade_engine.h"

namespace quillon::cli {
namespace {

// true, false, or null when the device was not checked.
std::string came_back_json(int v) { return v < 0 ? "null" : v ? "true" : "false"; }

// Back with the version it had before: the image went in but did not boot.
bool same_version(const DeviceSummary& d) {
    return d.came_back == 1 && d.version_before == d.version_after;
}

std::string seconds_text(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", s);
    return buf;
}

// crc32 of a buffer larger than zlib's uInt in pieces.
uint32_t crc_of(const uint8_t* data, uint32_t len) {
    uLong c = ::crc32(0L, Z_NULL, 0);
    while (len > 0) {
        const uInt piece = std::min<uint32_t>(len, 1u << 30);
        c = ::crc32(c, data, piece);
        data += piece;
        len -= piece;
    }
    return uint32_t(c);
}

}  // namespace

void BatchSummary::images_loaded(const UpgradeEngine& engine) {
    std::vector<ImageInfo> images;
    for (int j = 0; j < kSlots; ++j) {
        const LoadedImage im = engine.loaded_image(j);
        if (im.len == 0) continue;
        ImageInfo info;
        info.slot = j;
        info.path = im.path;
        // The exchange sends the trailer's length, never more than the data loaded.
        info.bytes = std::min(im.head->length(), im.len);
        // The load worked out the crc32 of all N bytes; only a trailer shorter than the data
        // needs a pass of its own.
        info.crc32 = info.bytes == im.len ? im.crc32 : crc_of(im.data, info.bytes);
        info.reboot_after = im.reboot_after;
        images.push_back(info);
    }
    std::lock_guard l(m_);
    loaded_ = true;
    images_ = std::move(images);
}

void BatchSummary::pass_started(int pass, int /*total*/, bool range) {
    std::lock_guard l(m_);
    passes_ = pass + 1;
    if (pass == 0) range_ = range;
}

void BatchSummary::device_ended(const DeviceResult& r) {
    std::lock_guard l(m_);
    DeviceSummary& d = rows_[r.row];
    d.ip = r.ip;
    if (!r.mac.empty()) d.mac = r.mac;
    d.outcome = r.success ? "success" : "failure";
    d.passes += 1;
    d.elapsed_s += std::chrono::duration<double>(r.elapsed).count();
    d.slots_done = r.slots_done;
}

void BatchSummary::device_came_back(const ComeBackResult& r) {
    std::lock_guard l(m_);
    DeviceSummary& d = rows_[r.row];
    d.version_before = r.version_before;
    if (!r.checked) return;
    d.came_back = r.came_back ? 1 : 0;
    if (!r.came_back) return;
    d.version_after = r.version_after;
    d.back_after_s = r.seconds;
}

void BatchSummary::address_silent(const std::string& ip) {
    std::lock_guard l(m_);
    silent_.push_back(ip);
}

bool BatchSummary::images_were_loaded() const {
    std::lock_guard l(m_);
    return loaded_;
}

void BatchSummary::batch_abandoned() {
    std::lock_guard l(m_);
    abandoned_ = true;
}

bool BatchSummary::was_abandoned() const {
    std::lock_guard l(m_);
    return abandoned_;
}

int BatchSummary::passes() const {
    std::lock_guard l(m_);
    return passes_;
}

bool BatchSummary::range_scan() const {
    std::lock_guard l(m_);
    return range_;
}

std::vector<ImageInfo> BatchSummary::images() const {
    std::lock_guard l(m_);
    return images_;
}

std::vector<std::string> BatchSummary::silent() const {
    std::lock_guard l(m_);
    return silent_;
}

std::map<int, DeviceSummary> BatchSummary::tried() const {
    std::lock_guard l(m_);
    return rows_;
}

std::string summary_json(const SummaryDoc& doc) {
    std::string o = "{\"mode\":" + json_string(doc.mode);
    o += ",\"images_ok\":" + std::string(doc.images_bad ? "false" : "true");
    o += ",\"images\":[";
    for (std::size_t i = 0; i < doc.images.size(); ++i) {
        const ImageInfo& im = doc.images[i];
        if (i) o += ",";
        o += "{\"slot\":" + json_string(kSlotRole[im.slot]) + ",\"path\":" + json_string(im.path) +
             ",\"bytes\":" + std::to_string(im.bytes) + ",\"crc32\":\"" + hex32(im.crc32) +
             "\",\"reboot_after\":" + (im.reboot_after ? "true" : "false") + "}";
    }
    o += "],\"devices\":[";
    int ok = 0, failed = 0, not_started = 0, back = 0, not_back = 0, same = 0;
    int not_found = 0, conflict = 0;  // --devices-from: listed devices left out
    for (std::size_t i = 0; i < doc.devices.size(); ++i) {
        const DeviceSummary& d = doc.devices[i];
        if (d.outcome == "success")
            ++ok;
        else if (d.outcome == "failure")
            ++failed;
        else if (d.outcome == "not found")
            ++not_found;
        else if (d.outcome == "conflict")
            ++conflict;
        else
            ++not_started;
        back += d.came_back == 1 ? 1 : 0;
        not_back += d.came_back == 0 ? 1 : 0;
        same += same_version(d) ? 1 : 0;
        if (i) o += ",";
        o += "{\"ip\":" + json_string(d.ip) + ",\"mac\":" + json_string(d.mac) +
             ",\"type\":" + json_string(d.type) + ",\"outcome\":" + json_string(d.outcome) +
             ",\"passes\":" + std::to_string(d.passes) +
             ",\"elapsed_s\":" + seconds_text(d.elapsed_s) + ",\"images\":[";
        bool first = true;
        for (const ImageInfo& im : doc.images) {
            if (!(d.slots_done & (1u << im.slot))) continue;
            if (!first) o += ",";
            first = false;
            o += "{\"slot\":" + json_string(kSlotRole[im.slot]) +
                 ",\"bytes\":" + std::to_string(im.bytes) + ",\"crc32\":\"" + hex32(im.crc32) +
                 "\"}";
        }
        o += "],\"came_back\":" + came_back_json(d.came_back) +
             ",\"version_before\":" + json_string(d.version_before) +
             ",\"version_after\":" + (d.came_back == 1 ? json_string(d.version_after) : "null") +
             ",\"back_after_s\":" + (d.came_back == 1 ? std::to_string(d.back_after_s) : "null") +
             ",\"same_version\":" + (same_version(d) ? "true" : "false") +
             ",\"name\":" + json_string(d.name);
        // --adapter all: the adapter the device answered on (null: it never answered).
        o += ",\"adapter\":" + (d.adapter.empty() ? std::string("null") : json_string(d.adapter)) +
             "}";
    }
    o += "],\"unreachable\":[";
    for (std::size_t i = 0; i < doc.unreachable.size(); ++i) {
        // Two appends: GCC 12 takes the one-expression form for an overlapping copy (-Wrestrict).
        if (i) o += ",";
        o += json_string(doc.unreachable[i]);
    }
    o += "],\"totals\":{\"devices\":" + std::to_string(doc.devices.size()) +
         ",\"succeeded\":" + std::to_string(ok) + ",\"failed\":" + std::to_string(failed) +
         ",\"not_started\":" + std::to_string(not_started) +
         ",\"unreachable\":" + std::to_string(doc.unreachable.size()) +
         ",\"passes\":" + std::to_string(doc.passes) + ",\"came_back\":" + std::to_string(back) +
         ",\"not_back\":" + std::to_string(not_back) +
         ",\"back_same_version\":" + std::to_string(same) +
         ",\"not_found\":" + std::to_string(not_found) +
         ",\"conflict\":" + std::to_string(conflict) + "}";
    // The devices that need attention, as the report's SUMMARY lines name them.
    o += ",\"needs_attention\":" + attention_json(needing_attention(summary_outcomes(doc)));
    o += ",\"counter\":" + json_string(doc.counter);
    o += ",\"stopped\":" + std::string(doc.stopped ? "true" : "false");
    o += ",\"fake_burn\":" + std::string(doc.fake_burn ? "true" : "false");
    o += ",\"report\":" + json_string(doc.report_path);
    // The batch's rules, and the one that ended it.
    o += ",\"canary\":" + (doc.canary > 0 ? std::to_string(doc.canary) : std::string("null"));
    o += ",\"max_failed\":" +
         (doc.max_failed.empty() ? std::string("null") : json_string(doc.max_failed));
    o += ",\"halted\":" + (doc.halted.empty() ? std::string("null") : json_string(doc.halted));
    o += ",\"exit_code\":" + std::to_string(doc.exit_code) + "}\n";
    return o;
}

namespace {

// Device texts come from the network: quote every field, double inner quotes, and keep a
// spreadsheet from running a field as a formula.
std::string csv_field(const std::string& text) {
    std::string t = text;
    if (!t.empty() &&
        (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@' || t[0] == '\t' || t[0] == '\r'))
        t.insert(t.begin(), '\'');
    std::string o = "\"";
    for (char c : t) {
        if (c == '"') o += '"';
        o += c;
    }
    return o + "\"";
}

// `text` (made by terminal_text) cut or padded to `width` characters.
std::string fixed_width(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t chars = 0;
    for (char c : text) {
        const bool starts_char = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts_char && chars == width) break;
        chars += starts_char ? 1 : 0;
        out += c;
    }
    return out.append(width - chars, ' ');
}

}  // namespace

std::string summary_csv(const SummaryDoc& doc) {
    std::string o =
        "address,mac,name,type,outcome,passes,elapsed_s,images,came_back,version_before,"
        "version_after,back_after_s\r\n";
    for (const DeviceSummary& d : doc.devices) {
        std::string images;
        for (const ImageInfo& im : doc.images) {
            if (!(d.slots_done & (1u << im.slot))) continue;
            if (!images.empty()) images += ' ';
            images += std::string(kSlotRole[im.slot]) + ":" + hex32(im.crc32);
        }
        o += csv_field(d.ip) + "," + csv_field(d.mac) + "," + csv_field(d.name) + "," +
             csv_field(d.type) + "," + csv_field(d.outcome) + "," + std::to_string(d.passes) + "," +
             seconds_text(d.elapsed_s) + "," + csv_field(images) + "," +
             (d.came_back < 0 ? ""
              : d.came_back   ? "true"
                              : "false") +
             "," + csv_field(d.version_before) + "," +
             csv_field(d.came_back == 1 ? d.version_after : "") + "," +
             (d.came_back == 1 ? std::to_string(d.back_after_s) : "") + "\r\n";
    }
    return o;
}

std::string summary_table(const SummaryDoc& doc) {
    std::string o;
    char line[512];
    // --devices-from: the site list's names, a column after the address when there are any.
    std::size_t name_w = 0;
    for (const DeviceSummary& d : doc.devices)
        name_w = std::max(name_w, display_width(terminal_text(d.name)));
    if (name_w) name_w = std::clamp<std::size_t>(name_w, 4, 30);
    auto with_name = [name_w](std::string row, const std::string& name) {
        return name_w ? row.insert(std::min<std::size_t>(17, row.size()),
                                   fixed_width(name, name_w) + "  ")
                      : row;
    };
    if (!doc.devices.empty()) {
        std::snprintf(line, sizeof line, "%-15s  %-17s  %-8s  %-11s  %6s  %9s  %s\n", "ADDRESS",
                      "MAC", "TYPE", "OUTCOME", "PASSES", "ELAPSED", "BACK");
        o += with_name(line, "NAME");
    }
    int ok = 0, not_back = 0, same = 0;
    for (const DeviceSummary& d : doc.devices) {
        ok += d.outcome == "success" ? 1 : 0;
        not_back += d.came_back == 0 ? 1 : 0;
        same += same_version(d) ? 1 : 0;
        // Texts from devices are made harmless for a terminal; MACs and types are short.
        const std::string mac = terminal_text(d.mac.empty() ? "-" : d.mac);
        const std::string type = terminal_text(d.type.empty() ? "-" : d.type);
        // A device back with its old version is marked: its new image did not boot.
        const std::string back = d.came_back < 0    ? (d.outcome == "success" ? "not checked" : "-")
                                 : d.came_back == 0 ? "NOT BACK"
                                 : same_version(d)
                                     ? "back, OLD VERSION " + terminal_text(d.version_after)
                                     : "back, " + terminal_text(d.version_after);
        std::snprintf(line, sizeof line, "%-15s  %-17.40s  %-8.24s  %-11s  %6d  %8.1fs  %.80s\n",
                      d.ip.c_str(), mac.c_str(), type.c_str(), d.outcome.c_str(), d.passes,
                      d.elapsed_s, back.c_str());
        o += with_name(line, terminal_text(d.name));
    }
    std::snprintf(line, sizeof line, "%d of %zu device%s upgraded", ok, doc.devices.size(),
                  doc.devices.size() == 1 ? "" : "s");
    o += line;
    if (!doc.unreachable.empty())
        o += ", " + std::to_string(doc.unreachable.size()) + " address(es) unreachable";
    const auto listed_out = [&](const char* outcome) {
        return std::count_if(doc.devices.begin(), doc.devices.end(),
                             [&](const DeviceSummary& d) { return d.outcome == outcome; });
    };
    if (const auto n = listed_out("not found")) o += ", " + std::to_string(n) + " not found";
    if (const auto n = listed_out("conflict"))
        o += ", " + std::to_string(n) + " refused for a conflict";
    if (not_back) o += ", " + std::to_string(not_back) + " not back after the reboot";
    if (same) o += ", " + std::to_string(same) + " back with the old version";
    o += doc.passes > 1 ? ", " + std::to_string(doc.passes) + " passes" : std::string();
    o += doc.stopped ? " (stopped on request)\n" : "\n";
    if (doc.fake_burn)
        o += "fake burn: the devices went through the simulated upgrade; no image was sent\n";
    if (!doc.halted.empty()) o += "HALTED: " + doc.halted + "\n";
    return o;
}

}  // namespace quillon::cli

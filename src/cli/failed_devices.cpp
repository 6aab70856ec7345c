// SPDX-License-Identifier: Apache-2.0
#include "cli/failed_devices.h"

#include <cstdio>
#include <memory>

#include "cli/text_out.h"
#include "platform/files.h"

namespace quillon::cli {
namespace {

std::string csv_field(const std::string& text) {
    std::string t;
    bool quote = false;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = ' ';
        quote = quote || c == ',' || c == '"';
        if (c == '"') t += '"';
        t += c;
    }
    return quote ? "\"" + t + "\"" : t;
}

}  // namespace

std::vector<DeviceOutcome> summary_outcomes(const SummaryDoc& doc, int come_back_limit_s) {
    unsigned loaded = 0;
    for (const ImageInfo& im : doc.images) loaded |= 1u << im.slot;
    std::vector<DeviceOutcome> out;
    for (const DeviceSummary& d : doc.devices) {
        DeviceOutcome o;
        o.ip = d.ip;
        o.mac = d.mac;
        o.name = d.name;
        if (d.outcome == "success") {
            o.kind = d.came_back == 1   ? OutcomeKind::upgraded_back
                     : d.came_back == 0 ? OutcomeKind::not_back
                                        : OutcomeKind::upgraded_unchecked;
            if (o.kind == OutcomeKind::not_back) o.seconds = come_back_limit_s;
            // Back with the version it had: the table marks it OLD VERSION. (A device that tells
            // no version tells nothing either way.)
            if (d.came_back == 1 && !d.version_before.empty() &&
                d.version_after == d.version_before) {
                o.kind = OutcomeKind::back_old_version;
                o.version = d.version_after;
            }
        } else if (d.outcome == "not found") {
            o.kind = OutcomeKind::not_found;
        } else if (d.outcome == "conflict") {
            o.kind = OutcomeKind::conflict;
        } else if (d.outcome == "not started") {
            o.kind = OutcomeKind::not_started;
        } else {
            // "failure", and whatever else kept a device from its images.
            o.kind = OutcomeKind::failed;
            o.failed_slot = d.outcome == "failure" ? failed_slot_of(loaded, d.slots_done) : -1;
            o.passes = d.passes;
        }
        out.push_back(std::move(o));
    }
    return out;
}

std::string failed_lines(const std::vector<DeviceOutcome>& attention) {
    if (attention.empty()) return std::string();
    std::string ips;
    for (const DeviceOutcome& d : attention) ips += (ips.empty() ? "" : " ") + terminal_text(d.ip);
    return std::to_string(attention.size()) +
           (attention.size() == 1 ? " device needs" : " devices need") +
           " attention (for --device or a site list):\n" + ips + "\n";
}

std::string site_list_csv(const std::vector<DeviceOutcome>& attention) {
    std::string o = "ip,mac,name\n";
    for (const DeviceOutcome& d : attention)
        o += csv_field(d.ip) + "," + csv_field(d.mac) + "," + csv_field(d.name) + "\n";
    return o;
}

std::string attention_json(const std::vector<DeviceOutcome>& attention) {
    std::string o = "[";
    for (const DeviceOutcome& d : attention) {
        if (o.size() > 1) o += ",";
        o += "{\"ip\":" + json_string(d.ip) + ",\"mac\":" + json_string(d.mac) +
             ",\"name\":" + json_string(d.name) +
             ",\"outcome\":" + json_string(outcome_words(d.kind)) + "}";
    }
    return o + "]";
}

bool write_site_list(const std::string& path, const std::vector<DeviceOutcome>& attention) {
    const std::string text = site_list_csv(attention);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(open_for_writing(path), &std::fclose);
    return f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size() &&
           std::fclose(f.release()) == 0;
}

}  // namespace quillon::cli

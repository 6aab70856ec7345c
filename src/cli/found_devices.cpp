// SPDX-License-Identifier: Apache-2.0
#include "cli/found_devices.h"

#include <algorithm>

#include "cli/local_adapters.h"
#include "cli/text_out.h"

namespace quillon::cli {

namespace {

std::optional<std::string> maybe(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

void FoundDevices::add_found_device(const char* ip, const char* id, const char* mac,
                                    const char* version, const char* /*status*/) {
    if (!ip) return;
    std::lock_guard lock(m_lock);
    for (const FoundDevice& d : m_devices) {
        if (d.ip == ip) return;
        if (mac && *mac && d.mac && *d.mac == mac) return;
    }
    m_devices.push_back({ip, maybe(id), maybe(mac), maybe(version)});
}

std::vector<FoundDevice> FoundDevices::list() const {
    std::lock_guard lock(m_lock);
    return m_devices;
}

std::string devices_table(const std::vector<FoundDevice>& devices, bool with_adapter) {
    using Row = std::vector<std::string>;
    std::vector<Row> rows{{"ADDRESS", "ID", "MAC", "VERSION"}};
    if (with_adapter) rows[0].push_back("ADAPTER");
    auto shown = [](const std::optional<std::string>& t) { return t ? terminal_text(*t) : "-"; };
    for (const FoundDevice& d : devices) {
        rows.push_back({terminal_text(d.ip), shown(d.id), shown(d.mac), shown(d.version)});
        if (with_adapter) rows.back().push_back(d.adapter.empty() ? "-" : terminal_text(d.adapter));
    }
    std::vector<std::size_t> width(rows[0].size());
    for (const Row& r : rows) {
        for (std::size_t c = 0; c < r.size(); ++c)
            width[c] = std::max(width[c], display_width(r[c]));
    }
    std::string out;
    for (const Row& r : rows) {
        std::string line;
        for (std::size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size()) line.append(width[c] - display_width(r[c]) + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string devices_json(const std::vector<FoundDevice>& devices,
                         const std::vector<SearchedAdapter>& adapters, bool all) {
    auto value = [](const std::optional<std::string>& t) { return t ? json_string(*t) : "null"; };
    auto text_or_null = [](const std::string& t) {
        return t.empty() ? std::string("null") : json_string(t);
    };
    const bool one = !all && adapters.size() == 1;
    std::string out = "{\"adapter\":" +
                      (all   ? json_string(kAllAdapters)
                       : one ? json_string(adapters[0].name)
                             : "null") +
                      ",\"address\":" + (one ? json_string(adapters[0].address) : "null") +
                      ",\"adapters\":[";
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        if (i) out += ",";
        out += "{\"name\":" + json_string(adapters[i].name) +
               ",\"address\":" + json_string(adapters[i].address) + "}";
    }
    out += "],\"devices\":[";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const FoundDevice& d = devices[i];
        if (i) out += ",";
        out += "{\"ip\":" + json_string(d.ip) + ",\"id\":" + value(d.id) +
               ",\"mac\":" + value(d.mac) + ",\"version\":" + value(d.version) +
               ",\"adapter\":" + text_or_null(d.adapter) + "}";
    }
    out += "]}\n";
    return out;
}

}  // namespace quillon::cli

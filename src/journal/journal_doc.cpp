// SPDX-License-Identifier: Apache-2.0
// Reading a journal back. The file may have been cut by a crash, edited by hand or be something
// else altogether: every line is checked for what it must hold, and a line that does not hold it
// is skipped and counted, never trusted in part.
#include "journal/journal_doc.h"

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "engine/failure_threshold.h"
#include "platform/files.h"

namespace quillon {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxLine = 1u << 20;  // a start line of 2000 devices is ~150 KiB
constexpr std::size_t kMaxFile = 256u << 20;
constexpr int kMaxDepth = 8;  // our lines nest three deep
constexpr int kMaxRow = 1 << 20;

// Deeper nesting than any line of ours: refused before the parser sees it.
bool too_deep(std::string_view line) {
    int depth = 0;
    bool in_string = false, escaped = false;
    for (char c : line) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"')
            in_string = true;
        else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// Typed look-ups: false when the key is missing or holds another kind of value.
bool get(const Json& o, const char* key, std::string& out) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}
bool get(const Json& o, const char* key, bool& out) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}
bool get(const Json& o, const char* key, int64_t& out, int64_t lo, int64_t hi) {
    auto it = o.find(key);
    if (it == o.end() || !it->is_number_integer()) return false;
    if (it->is_number_unsigned()) {
        const uint64_t u = it->get<uint64_t>();
        if (u > uint64_t(hi)) return false;
        out = int64_t(u);
    } else {
        out = it->get<int64_t>();
    }
    return out >= lo && out <= hi;
}
bool get_hex32(const Json& o, const char* key, uint32_t& out) {
    std::string s;
    if (!get(o, key, s) || s.size() != 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v << 4 | uint32_t(d);
    }
    out = v;
    return true;
}

class Reader {
public:
    JournalDoc doc;

    void line(std::string_view text) {
        if (text.empty()) return;
        if (text.size() > kMaxLine || too_deep(text)) {
            ++doc.bad_lines;
            return;
        }
        const Json j = Json::parse(text.begin(), text.end(), nullptr, false);
        bool used = false;
        if (j.is_object()) {
            try {
                used = event(j);
            } catch (const Json::exception&) {
                used = false;
            }
        }
        if (used)
            ++doc.lines;
        else
            ++doc.bad_lines;
    }

private:
    std::map<int, std::size_t> by_row_;

    JournalDevice& device(int row) {
        auto it = by_row_.find(row);
        if (it != by_row_.end()) return doc.devices[it->second];
        by_row_[row] = doc.devices.size();
        doc.devices.push_back(JournalDevice{});
        doc.devices.back().row = row;
        return doc.devices.back();
    }

    bool event(const Json& j) {
        std::string ev;
        if (!get(j, "event", ev)) return false;
        if (ev == "batch_start") return start(j);
        if (!doc.valid) return false;    // nothing belongs to a batch before its start line
        if (doc.finished) return false;  // nor after its end
        if (ev == "device_taken") return taken(j);
        if (ev == "image_finished") return image(j);
        if (ev == "device_end") return ended(j);
        if (ev == "device_came_back") return came_back(j);
        if (ev == "batch_rule") return rule(j);
        if (ev == "batch_end") return batch_end(j);
        return true;  // a later kind of line: not ours to judge
    }

    bool start(const Json& j) {
        if (doc.valid) return false;  // one batch per journal
        JournalDoc d;
        if (!get(j, "id", d.id) || !get(j, "time", d.started)) return false;
        if (auto c = j.find("continues"); c != j.end() && !c->is_null()) {
            if (!c->is_string()) return false;
            d.continues = c->get<std::string>();
        }
        auto s = j.find("settings");
        if (s == j.end() || !s->is_object()) return false;
        int64_t threads = 0;
        if (!get(*s, "mode", d.mode) || (d.mode != "list" && d.mode != "range") ||
            !get(*s, "threads", threads, 1, 10) || !get(*s, "auto_retry", d.auto_retry) ||
            !get(*s, "fake_burn", d.fake_burn))
            return false;
        d.threads = int(threads);
        get(*s, "range", d.range);
        // The rules came later: a journal without them has none. Present, they must make sense.
        if (s->contains("canary")) {
            int64_t canary = 0;
            if (!get(*s, "canary", canary, 0, kMaxRow)) return false;
            d.canary = int(canary);
        }
        if (auto m = s->find("max_failed"); m != s->end() && !m->is_null()) {
            std::string err;
            if (!m->is_string() || !parse_failure_limit(m->get<std::string>(), err)) return false;
            d.max_failed = m->get<std::string>();
        }
        if (auto a = j.find("adapter"); a != j.end() && a->is_object()) {
            get(*a, "name", d.adapter);
            get(*a, "address", d.adapter_address);
        }
        auto im = j.find("images");
        if (im == j.end() || !im->is_array() || im->empty() || im->size() > 4) return false;
        unsigned seen = 0;
        for (const Json& x : *im) {
            if (!x.is_object()) return false;
            JournalImage i;
            int64_t slot = 0, size = 0;
            if (!get(x, "slot", slot, 0, 3) || (seen & (1u << slot)) || !get(x, "path", i.path) ||
                i.path.empty() || !get(x, "size", size, 0, INT64_MAX) ||
                !get_hex32(x, "file_crc32", i.file_crc32) ||
                !get(x, "reboot_after", i.reboot_after))
                return false;
            seen |= 1u << slot;
            i.slot = int(slot);
            i.size = uint64_t(size);
            d.images.push_back(i);
        }
        auto dv = j.find("devices");
        if (dv == j.end() || !dv->is_array()) return false;
        doc = std::move(d);
        doc.valid = true;
        for (const Json& x : *dv) {
            int64_t row = 0;
            std::string ip, mac;
            if (!x.is_object() || !get(x, "row", row, 0, kMaxRow) || !get(x, "ip", ip) ||
                !get(x, "mac", mac) || by_row_.count(int(row))) {
                // A start line is whole or not at all.
                doc = JournalDoc{};
                by_row_.clear();
                return false;
            }
            JournalDevice& dev = device(int(row));
            dev.ip = ip;
            dev.mac = mac;
            dev.listed = true;
        }
        return true;
    }

    // row, ip and mac of a device line; false when any is missing or wrong.
    bool who(const Json& j, int& row, std::string& ip, std::string& mac) {
        int64_t r = 0;
        if (!get(j, "row", r, 0, kMaxRow) || !get(j, "ip", ip) || !get(j, "mac", mac)) return false;
        row = int(r);
        return true;
    }

    bool taken(const Json& j) {
        int row;
        std::string ip, mac;
        if (!who(j, row, ip, mac)) return false;
        JournalDevice& d = device(row);
        d.ip = ip;
        if (!mac.empty()) d.mac = mac;
        ++d.visits;
        d.in_flight = true;
        d.slots_done = 0;
        return true;
    }

    bool image(const Json& j) {
        int row;
        std::string ip, mac;
        int64_t slot = 0;
        bool success = false;
        if (!who(j, row, ip, mac) || !get(j, "slot", slot, 0, 3) || !get(j, "success", success))
            return false;
        JournalDevice& d = device(row);
        if (success) d.slots_done |= 1u << slot;
        return true;
    }

    bool ended(const Json& j) {
        int row;
        std::string ip, mac;
        bool success = false;
        if (!who(j, row, ip, mac) || !get(j, "success", success)) return false;
        JournalDevice& d = device(row);
        d.ip = ip;
        if (!mac.empty()) d.mac = mac;
        d.in_flight = false;
        if (success) d.succeeded = true;
        d.failed = !success && !d.succeeded;
        return true;
    }

    bool came_back(const Json& j) {
        int row;
        std::string ip, mac;
        bool checked = false, back = false;
        if (!who(j, row, ip, mac) || !get(j, "checked", checked)) return false;
        if (checked && !get(j, "came_back", back)) return false;
        JournalDevice& d = device(row);
        if (checked) d.came_back = back;
        return true;
    }

    bool rule(const Json& j) {
        std::string rule, outcome;
        bool halts = false;
        if (!get(j, "rule", rule) || !get(j, "outcome", outcome) || !get(j, "halts", halts))
            return false;
        if (rule == "canary" && outcome == "passed" && !halts) doc.canary_passed = true;
        if (halts) doc.halted_by = rule;
        return true;
    }

    bool batch_end(const Json& j) {
        std::string time;
        if (!get(j, "time", time)) return false;
        get(j, "stopped", doc.stopped);
        doc.ended = time;
        doc.finished = true;
        return true;
    }
};

}  // namespace

int JournalDoc::succeeded() const {
    int n = 0;
    for (const auto& d : devices) n += d.succeeded ? 1 : 0;
    return n;
}

int JournalDoc::failed() const {
    int n = 0;
    for (const auto& d : devices) n += d.failed ? 1 : 0;
    return n;
}

int JournalDoc::not_back() const {
    int n = 0;
    for (const auto& d : devices) n += (d.came_back && !*d.came_back) ? 1 : 0;
    return n;
}

int JournalDoc::pending() const { return int(devices.size()) - succeeded(); }

const JournalDevice* JournalDoc::find_row(int row) const {
    for (const auto& d : devices)
        if (d.row == row) return &d;
    return nullptr;
}

JournalDoc read_journal_text(std::string_view text) {
    Reader r;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos) {
            // No line end: the line a crash cut short. Skipped, whatever it holds.
            r.doc.torn_tail = true;
            break;
        }
        r.line(text.substr(at, nl - at));
        at = nl + 1;
    }
    return std::move(r.doc);
}

bool read_journal(const std::string& path, JournalDoc& doc) {
    doc = JournalDoc{};
    std::string text;
    if (!read_whole_file(path, text, kMaxFile)) return false;
    doc = read_journal_text(text);
    return true;
}

}  // namespace quillon

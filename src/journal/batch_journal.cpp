// SPDX-License-Identifier: Apache-2.0
#include "journal/batch_journal.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "engine/text_format.h"
#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "journal/journal_files.h"
#include "log/log_dir.h"
#include "platform/local_time.h"

namespace quillon {
namespace {

using Json = nlohmann::ordered_json;

std::string time_text(bool utc) {
    const std::time_t t = std::time(nullptr);
    if (!utc) return local_time_text(t);
    static std::mutex time_lock;  // the C library's shared tm; a leaf lock
    std::tm tm{};
    {
        std::lock_guard l(time_lock);
        const std::tm* p = std::gmtime(&t);
        if (p) tm = *p;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

// The crc32 of the whole image file, made from what the load already worked out: the data's
// crc32 joined with that of the trailer that followed it.
uint32_t file_crc32(const UpgradeEngine& e, int j) {
    const LoadedImage im = e.loaded_image(j);
    const uLong trailer = ::crc32(0L, im.head->bytes, kImageHeaderSize);
    return uint32_t(::crc32_combine(im.crc32, trailer, z_off_t(kImageHeaderSize)));
}

Json slot_list(unsigned slots) {
    Json a = Json::array();
    for (int j = 0; j < kSlots; ++j)
        if (slots & (1u << j)) a.push_back(j);
    return a;
}

// Device texts came from the network: bytes that are no UTF-8 are replaced, never refused.
std::string dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

BatchJournal::BatchJournal(std::string folder) : folder_(std::move(folder)) {}

void BatchJournal::set_adapter(const std::string& name, const std::string& address) {
    std::lock_guard l(m_);
    adapter_ = name;
    adapter_address_ = address;
}

void BatchJournal::set_continues(const std::string& file_name) {
    std::lock_guard l(m_);
    continues_ = file_name;
}

void BatchJournal::set_rules(int canary, const std::string& max_failed) {
    std::lock_guard l(m_);
    canary_ = canary;
    max_failed_ = max_failed;
}

std::string BatchJournal::path() const {
    std::lock_guard l(m_);
    return path_;
}

bool BatchJournal::ok() const {
    std::lock_guard l(m_);
    return ok_;
}

void BatchJournal::write_line(const std::string& json) {
    if (!file_.append(json + "\n")) ok_ = false;
}

void BatchJournal::images_loaded(const UpgradeEngine& e) {
    // The batch's devices, read before the journal's lock: the window is not called under it.
    Json devices = Json::array();
    std::string mode = "list";
    std::string range;
    const BatchSettings batch = e.settings();
    WindowPort* dlg = e.window();
    const int rows = dlg ? dlg->row_count() : 0;
    if (batch.ip_scan && rows == 0) {
        mode = "range";
        char buf[40];
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u-%d", (batch.ip_begin >> 24) & 0xFF,
                      (batch.ip_begin >> 16) & 0xFF, (batch.ip_begin >> 8) & 0xFF,
                      batch.ip_begin & 0xFF, batch.ip_end);
        range = buf;
    } else {
        for (int r = 0; r < rows; ++r) {
            if (!dlg->get_check(r)) continue;
            devices.push_back(Json{{"row", r},
                                   {"ip", dlg->device_text(r, DeviceField::ip)},
                                   {"mac", dlg->device_text(r, DeviceField::mac)}});
        }
    }
    Json images = Json::array();
    for (int j = 0; j < kSlots; ++j) {
        const LoadedImage im = e.loaded_image(j);
        if (im.len == 0) continue;
        images.push_back(Json{{"slot", j},
                              {"role", kSlotRole[j]},
                              {"path", im.path},
                              {"size", uint64_t(im.len) + kImageHeaderSize},
                              {"file_crc32", hex32(file_crc32(e, j))},
                              {"reboot_after", im.reboot_after}});
    }

    std::lock_guard l(m_);
    file_.close();
    ok_ = true;
    const std::string name = new_journal_name(folder_);
    path_ = join_path(folder_, name);
    if (!file_.open(path_)) {
        ok_ = false;
        return;
    }
    prune_journals(folder_);
    Json start{{"event", "batch_start"},
               {"id", name.substr(8, name.size() - 8 - 6)},
               {"time", time_text(false)},
               {"utc", time_text(true)},
               {"continues", continues_.empty() ? Json(nullptr) : Json(continues_)},
               {"settings",
                Json{{"mode", mode},
                     {"range", range},
                     {"threads", batch.thread_num},
                     {"auto_retry", e.auto_retry() != 0},
                     {"fake_burn", e.fake_burn() != 0},
                     {"canary", canary_},
                     {"max_failed", max_failed_.empty() ? Json(nullptr) : Json(max_failed_)}}},
               {"adapter", Json{{"name", adapter_}, {"address", adapter_address_}}},
               {"images", std::move(images)},
               {"devices", std::move(devices)}};
    write_line(dump(start));
    continues_.clear();  // a later batch of the same program resumes nothing
}

void BatchJournal::device_taken(const DeviceTaken& d) {
    const std::string line = dump(Json{{"event", "device_taken"},
                                       {"pass", d.pass},
                                       {"worker", d.worker},
                                       {"row", d.row},
                                       {"ip", d.ip},
                                       {"mac", d.mac}});
    std::lock_guard l(m_);
    write_line(line);
}

void BatchJournal::image_finished(const ImageFinished& i) {
    const std::string line = dump(Json{{"event", "image_finished"},
                                       {"pass", i.pass},
                                       {"row", i.row},
                                       {"ip", i.ip},
                                       {"mac", i.mac},
                                       {"slot", i.slot},
                                       {"success", i.success}});
    std::lock_guard l(m_);
    write_line(line);
}

void BatchJournal::device_ended(const DeviceResult& r) {
    const double secs = std::chrono::duration<double>(r.elapsed).count();
    const std::string line = dump(Json{{"event", "device_end"},
                                       {"pass", r.pass},
                                       {"row", r.row},
                                       {"ip", r.ip},
                                       {"mac", r.mac},
                                       {"success", r.success},
                                       {"slots", slot_list(r.slots_done)},
                                       {"elapsed_s", double(int64_t(secs * 1000)) / 1000}});
    std::lock_guard l(m_);
    write_line(line);
}

void BatchJournal::device_came_back(const ComeBackResult& c) {
    const std::string line = dump(Json{{"event", "device_came_back"},
                                       {"row", c.row},
                                       {"ip", c.ip},
                                       {"mac", c.mac},
                                       {"checked", c.checked},
                                       {"came_back", c.came_back},
                                       {"version_before", c.version_before},
                                       {"version_after", c.version_after},
                                       {"seconds", c.seconds}});
    std::lock_guard l(m_);
    write_line(line);
}

void BatchJournal::rule_decided(const BatchRuleEvent& e) {
    const std::string line = dump(Json{{"event", "batch_rule"},
                                       {"rule", e.rule},
                                       {"outcome", e.outcome},
                                       {"halts", e.halts},
                                       {"pass", e.pass},
                                       {"rows", e.rows},
                                       {"why", e.why}});
    std::lock_guard l(m_);
    write_line(line);
}

void BatchJournal::batch_ended(const BatchEnded& end) {
    const std::string line = dump(Json{{"event", "batch_end"},
                                       {"time", time_text(false)},
                                       {"passes", end.passes},
                                       {"stopped", end.stopped}});
    std::lock_guard l(m_);
    write_line(line);
    file_.close();
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include "window/table_port.h"

#include <algorithm>
#include <ctime>

#include "platform/local_time.h"
#include "texts/ui_texts.h"
#include "window/device_words.h"

namespace quillon {

std::string TablePort::local_time_text() { return quillon::local_time_text(); }

int TablePort::row_count() {
    return on_window(0, [this] { return table_.row_count(); });
}

int TablePort::column_of(DeviceField field) {
    switch (field) {
        case DeviceField::ip: return col_ip;
        case DeviceField::mac: return col_mac;
        case DeviceField::progress: return col_percent;
        case DeviceField::state: return col_stat;
        case DeviceField::elapsed: return col_elapsed;
        case DeviceField::begin_time: return col_begin;
        case DeviceField::version: return col_version;
    }
    return -1;
}

std::string TablePort::device_text(int row, DeviceField field) {
    return on_window(std::string(), [&] { return table_.get_cell(row, column_of(field)); });
}

void TablePort::set_check(int row, bool ticked) {
    run_on_window_thread([&] { table_.set_check(row, ticked); });
}

bool TablePort::get_check(int row) {
    return on_window(false, [&] { return table_.get_check(row); });
}

void TablePort::clear_rows() {
    run_on_window_thread([this] { table_.clear_rows(); });
}

int TablePort::deal_rows(int workers) {
    if (workers < 1) workers = 1;
    return on_window(0, [&] {
        int ticked = 0;
        for (int r = 0; r < table_.row_count(); ++r) {
            if (table_.get_check(r)) {
                table_.set_tag(r, ticked % workers);
                ++ticked;
            } else {
                table_.set_tag(r, kNoWorker);
            }
        }
        return ticked;
    });
}

int TablePort::next_row_of(int worker, int from) {
    return on_window(-1, [&] {
        for (int r = from < 0 ? 0 : from; r < table_.row_count(); ++r)
            if (table_.get_check(r) && table_.get_tag(r) == worker) return r;
        return -1;
    });
}

void TablePort::device_begun(int row, std::time_t begun) {
    const std::string at = begin_time_text(begun);
    run_on_window_thread([&] {
        table_.set_cell(row, col_begin, at);
        table_.set_cell(row, col_elapsed, elapsed_text(std::chrono::seconds(0)));
    });
}

void TablePort::device_state(int row, DeviceState state) {
    run_on_window_thread([&] { table_.set_cell(row, col_stat, device_state_word(state)); });
}

void TablePort::device_image(int row, const ImageProgress& progress) {
    const std::string percent = image_progress_text(progress);
    run_on_window_thread([&] {
        table_.set_cell(row, col_percent, percent);
        table_.set_cell(row, col_stat, image_phase_word(progress.phase));
    });
}

void TablePort::device_ended(int row, bool success, std::chrono::seconds elapsed) {
    const std::string took = elapsed_text(elapsed);
    run_on_window_thread([&] {
        table_.set_check(row, !success);
        table_.set_cell(row, col_stat, outcome_word(success));
        table_.set_cell(row, col_elapsed, took);
    });
}

void TablePort::device_came_back(int row, const std::string& version) {
    run_on_window_thread([&] { table_.set_cell(row, col_version, version); });
}

void TablePort::show_awaited(int devices) { set_status_line(awaiting_text(devices)); }

void TablePort::show_message(BatchMessage what) { message_box(batch_message_text(what)); }

void TablePort::show_count(int done, int total) {
    const std::string counter = counter_text(done, total);
    // No devices in the pass: nothing to show, and no division by zero.
    const int bar = total > 0 ? 100 * done / total : 0;
    run_on_window_thread([&] {
        set_counter(counter);
        set_batch_bar(bar);
    });
}

void TablePort::raise_batch_bar(int pos) {
    run_on_window_thread([&] {
        if (get_batch_bar() < pos) set_batch_bar(pos);
    });
}

int TablePort::count_checked() {
    return on_window(0, [this] {
        int n = 0;
        for (const DeviceRow& r : table_.rows()) n += r.ticked ? 1 : 0;
        return n;
    });
}

namespace {
// Two rows are the same device when their IP texts or their MAC texts are equal. An empty text
// names no device: answers or rows without a MAC must not hide one another.
bool same_device(const DeviceRow& row, const FoundDevice& dev) {
    return (!dev.ip.empty() && row.cells[col_ip] == dev.ip) ||
           (!dev.mac.empty() && row.cells[col_mac] == dev.mac);
}
}  // namespace

int TablePort::insert_found_device(const FoundDevice& dev) {
    return on_window(-1, [&] {
        const int first = table_.row_count();
        return list_found_devices(&dev, 1) == 1 ? first : -1;
    });
}

int TablePort::insert_found_devices(const std::vector<FoundDevice>& devs) {
    if (devs.empty()) return 0;
    return on_window(0, [&] { return list_found_devices(devs.data(), devs.size()); });
}

int TablePort::list_found_devices(const FoundDevice* devs, std::size_t n) {
    const int before = table_.row_count();
    std::vector<DeviceRow> added;
    for (std::size_t i = 0; i < n; ++i) {
        const FoundDevice& dev = devs[i];
        // Judged here, on the window's thread, after any command that closed the intake.
        if (!dev.named && !flags().takes_answer(dev.arrived)) continue;
        auto listed = [&](const DeviceRow& r) { return same_device(r, dev); };
        if (std::any_of(table_.rows().begin(), table_.rows().end(), listed) ||
            std::any_of(added.begin(), added.end(), listed)) {
            continue;
        }
        add_type_filter_entry_once(dev.type_name);
        DeviceRow row;
        row.cells[col_id] = std::to_string(before + static_cast<int>(added.size()) + 1);
        row.cells[col_ip] = dev.ip;
        row.cells[col_devid] = dev.devid;
        row.cells[col_mac] = dev.mac;
        row.cells[col_type] = dev.type_name;
        row.cells[col_percent] = "0%";
        row.cells[col_stat] = dev.status;
        row.cells[col_elapsed] = "0 s";
        row.cells[col_begin] = dev.begin_time;
        row.cells[col_version] = dev.version;
        row.ticked = true;
        row.tag = kNoWorker;
        added.push_back(std::move(row));
    }
    const int count = static_cast<int>(added.size());
    const int first = table_.append_rows(std::move(added));
    for (int r = first; r < first + count; ++r) records_.save_record(RecordTable::found, r, table_);
    return count;
}

int TablePort::add_range_row(const std::string& ip) {
    const std::string now = local_time_text();
    return on_window(-1, [&] {
        const int n = table_.row_count();
        DeviceRow row;
        row.cells[col_id] = std::to_string(n + 1);
        row.cells[col_ip] = ip;
        row.cells[col_devid] = records_.lookup_devid(ip);
        row.cells[col_mac] = records_.lookup_mac(ip);
        row.cells[col_type] = records_.lookup_type(ip);
        row.cells[col_stat] = device_state_word(DeviceState::running);
        row.cells[col_percent] = "0%";
        row.cells[col_elapsed] = "0 s";
        row.cells[col_begin] = now;
        row.cells[col_version] = records_.lookup_version(ip);
        // Unticked, tag 0, as any appended row: the worker ticks it when its upgrade starts.
        int index = table_.append_row(std::move(row));
        records_.save_record(RecordTable::range, index, table_);
        return index;
    });
}

void TablePort::update_row_by_ip(const std::string& ip, const std::string& devid,
                                 const std::string& mac, const std::string& type_name,
                                 const std::string& version, const std::string& status) {
    run_on_window_thread([&] {
        for (int i = 0; i < table_.row_count(); ++i) {
            if (table_.get_cell(i, col_ip) != ip) continue;
            table_.set_cell(i, col_devid, devid);
            table_.set_cell(i, col_mac, mac);
            table_.set_cell(i, col_type, type_name);
            table_.set_cell(i, col_stat, status);
            table_.set_cell(i, col_version, version);
        }
        records_.refresh_range(table_.row_count(), ip, devid, mac, type_name, version, status);
    });
}

void TablePort::set_record_tick(RecordTable table, const std::string& ip, const std::string& mac,
                                bool ticked) {
    records_.set_tick(table, ip, mac, ticked);
}

void TablePort::clear_records(RecordTable table) { records_.clear(table); }

bool TablePort::admits_type(const std::string& ip) {
    const std::string filter = type_filter_text();
    return filter == T(TextId::type_all) || records_.lookup_type(ip) == filter;
}
std::string TablePort::lookup_range_mac(const std::string& ip) {
    return records_.lookup_range_mac(ip);
}

}  // namespace quillon

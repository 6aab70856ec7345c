// SPDX-License-Identifier: Apache-2.0
// The batch driver: one START becomes a whole batch. The driver thread loads the image set, deals
// the ticked rows (or the addresses of a range) to 1 to 10 workers, runs further passes over the
// failed devices when auto-retry is on, and ends the batch with a message and the user report.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "engine/batch_observer.h"
#include "engine/come_back_watch.h"
#include "engine/first_wave.h"
#include "engine/text_format.h"
#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "platform/keep_awake.h"
#include "platform/thread_id.h"
#include "platform/timing.h"

namespace quillon {
namespace {

constexpr int kMaxPasses = 10;
constexpr std::size_t kTextMax = kEngineTextMax;

std::string cut(std::string s) {
    if (s.size() > kTextMax) s.resize(kTextMax);
    return s;
}

}  // namespace

// ---------------------------------------------------------------- driver thread

void UpgradeEngine::start_driver() {
    if (m_driver_thread.joinable()) return;
    m_driver_stop = false;
    m_driver_thread = std::thread([this] { driver_loop(); });
}

void UpgradeEngine::stop_driver() {
    if (!m_driver_thread.joinable()) return;
    {
        std::lock_guard lock(m_driver_lock);
        m_driver_stop = true;
    }
    m_driver_wake.notify_all();
    m_driver_thread.join();
}

void UpgradeEngine::start_batch(const BatchSettings& s) {
    // Everything the driver and the workers read is written before the running flag, whose
    // store publishes it.
    for (int i = 0; i < kSlots; ++i) {
        m_url[i] = s.url[i];
        m_reboot_after[i] = s.reboot_after[i] ? 1 : 0;
    }
    m_ip_begin = s.ip_begin;
    m_ip_end = s.ip_end;
    m_ip_scan = s.ip_scan;
    m_thread_num = s.thread_num;
    start_batch();
}

void UpgradeEngine::start_batch() {
    {
        std::lock_guard lock(g_run_lock);
        m_running = 1;
        m_batch_requested = true;
    }
    // Taken so that the wake-up cannot fall between the driver's look at the flag and its wait.
    { std::lock_guard lock(m_driver_lock); }
    m_driver_wake.notify_all();
}

void UpgradeEngine::clear_running() {
    std::lock_guard lock(g_run_lock);
    m_running = 0;
}

void UpgradeEngine::driver_loop() {
    // An idle poll writes nothing: clearing m_running after every poll would lose a START that
    // lands between the poll and that store and leave the window disabled for good. run_batch
    // clears the flag itself at the end of a batch, before the window becomes idle.
    while (!m_driver_stop) {
        run_batch();
        std::unique_lock lock(m_driver_lock);
        // The poll stays: a running flag set without start_batch is still seen within one poll.
        m_driver_wake.wait_for(lock, timing().driver_poll,
                               [this] { return m_driver_stop.load() || m_running.load() == 1; });
    }
}

void UpgradeEngine::set_counter_and_bar() {
    const int done = m_done;
    const int total = m_total;
    m_dlg->show_count(done, total);
}

void UpgradeEngine::assign_rows() {
    m_total = 0;
    m_done = 0;
    const int workers = std::clamp(m_thread_num, 1, kWorkers);
    const int rows = m_dlg->row_count();
    // Decided here, once for the whole pass: a worker that looked at the list itself could find
    // the first range row already added by another worker and take the wrong flow.
    const bool range = m_ip_scan && m_left == 0 && rows == 0;
    m_range_pass = range ? 1 : 0;
    if (m_ip_scan && rows == 0) {
        const int first = int(m_ip_begin & 0xFF);
        const int n = m_ip_end - first + 1;
        if (n > 0) m_total = n;
    } else {
        m_total = m_dlg->deal_rows(workers);
    }
    set_counter_and_bar();
}

void UpgradeEngine::start_workers(int n) {
    for (int i = 0; i < n; ++i) {
        // Live before the thread exists: the intake must see the worker while it runs.
        m_thread_live[i] = true;
        try {
            // The index is handed over at creation. A worker that looked itself up by thread id
            // would race with the driver storing the ids: one that started first would find
            // nothing, and its devices would silently never be tried.
            m_thread[i] = std::thread([this, i] { worker_main(i); });
        } catch (const std::system_error& e) {
            m_thread_live[i] = false;
            debug_line("process thread %d not started: %s\n", i, e.what());
        }
    }
}

void UpgradeEngine::join_workers() {
    for (int i = 0; i < kWorkers; ++i) {
        if (m_thread[i].joinable()) m_thread[i].join();
        m_thread[i] = std::thread();
        m_thread_live[i] = false;
    }
}

void UpgradeEngine::run_batch() {
    bool running = false, abandoned = false;
    {
        std::lock_guard lock(g_run_lock);
        running = m_running == 1;
        abandoned = m_batch_requested.exchange(false) && !running;
    }
    if (!running) {
        // A START stopped before the driver took it (STOP, or the command line's Ctrl-C, came
        // first): no device was begun, but the window waits for the end of a batch all the
        // same, with STOP disabled. It gets the end of a stopped batch.
        if (abandoned) {
            if (m_observer) m_observer->batch_abandoned();
            m_dlg->show_message(BatchMessage::stopped);
            m_dlg->show_user_report();
            m_dlg->enter_idle();
        }
        return;
    }
    // The computer stays awake from here to the batch's end (the driver runs it all).
    const KeepAwake awake;

    if (!load_images()) {
        release_images();
        m_dlg->show_message(BatchMessage::image_bad);
        clear_running();
        m_dlg->enter_idle();
        return;
    }
    if (m_observer) m_observer->images_loaded(*this);
    // A simulated upgrade sends no reboot record: there is nothing to come back from.
    if (m_come_back) m_come_back->begin_batch(*m_dlg, m_search, m_observer, m_fake_burn == 0);

    m_left = 0;
    m_echo_failed = 0;
    // Every rebooted device back or past its limit; STOP ends the wait.
    auto wait_come_back = [this] {
        if (m_come_back && m_come_back->wait_all([this] { return m_running == 0; }))
            m_dlg->show_followed_status(statuses());
    };
    // A first wave runs alone in a pass of its own (not one of the retry passes); the rows it
    // holds back wait for its devices to come back and for its verdict.
    const bool wave = m_first_wave && m_first_wave->hold_back(*m_dlg);
    int p = 0;
    for (;;) {
        m_pass = p;
        assign_rows();
        debug_line("process pre \n");
        const int c = m_dlg->count_checked();
        int n = std::clamp(m_thread_num, 1, kWorkers);
        if (!m_ip_scan) n = std::min(n, c);
        debug_line("process thread %d\n", n);
        if (m_observer) m_observer->pass_started(p, m_total, m_range_pass != 0);

        start_workers(n);
        join_workers();
        std::this_thread::sleep_for(timing().pass_settle);

        for (int i = 0; i < kWorkers; ++i) m_sock[i].reset();
        const int total = m_total;
        m_dlg->set_batch_bar(total > 0 ? 100 * m_done / total : 0);

        const int left = m_dlg->count_checked();
        m_left = m_auto_retry ? left : 0;
        debug_line("process post \n");
        ++p;
        if (wave && p == 1) {
            wait_come_back();
            const bool checked = m_come_back && m_come_back->checking();
            if (m_running == 0 || !m_first_wave->release(*m_dlg, checked)) break;
            continue;
        }
        if (m_running == 0 || m_left == 0 || p >= kMaxPasses + (wave ? 1 : 0) || m_echo_failed)
            break;
    }

    release_images();
    // The batch ends when every rebooted device is back or past its limit.
    wait_come_back();
    debug_line("process end \n");
    if (m_observer) m_observer->batch_ended(BatchEnded{p, !m_dlg->is_stop_enabled()});

    if (m_echo_failed) m_dlg->show_message(BatchMessage::echo_unavailable);
    // A graceful stop disables STOP; that is how the end message knows it was asked for.
    m_dlg->show_message(m_dlg->is_stop_enabled() ? BatchMessage::done : BatchMessage::stopped);
    m_dlg->show_user_report();
    // Cleared before the window turns idle, so that a START right after it is never refused
    // or lost.
    clear_running();
    m_dlg->enter_idle();
}

// ---------------------------------------------------------------- workers

int UpgradeEngine::worker_main(int w) {
    if (w < 0 || w >= kWorkers) return 0;
    const int tid = os_thread_id();
    debug_line("process tid=%d pid=%d pid2=%d\n", w, tid, tid);
    if (m_range_pass)
        process_range(w);
    else
        process_list(w);
    debug_line("process tid= %d \n", w);
    return 0;
}

int UpgradeEngine::process_list(int w) {
    int ret = 0;
    // Each step looks at the list afresh: it may grow while the pass runs.
    for (int r = m_dlg->next_row_of(w, 0); m_running == 1 && r >= 0;
         r = m_dlg->next_row_of(w, r + 1)) {
        set_cur_device(w, cut(m_dlg->device_text(r, DeviceField::ip)),
                       cut(m_dlg->device_text(r, DeviceField::mac)));
        ret = run_device(w, r, Mode::list);
    }
    return ret;
}

int UpgradeEngine::process_range(int w) {
    int ret = 0;
    const int n = std::clamp(m_thread_num, 1, kWorkers);
    const int b = int(m_ip_begin & 0xFF);
    // Last octets stay within one /24: an end beyond 254 would run into the broadcast address.
    const int end = std::min(m_ip_end, 254);
    int a = b + w;
    if (a > end) return ret;
    const unsigned o1 = (m_ip_begin >> 24) & 0xFF, o2 = (m_ip_begin >> 16) & 0xFF,
                   o3 = (m_ip_begin >> 8) & 0xFF;

    for (int v = 0; m_running == 1 && !m_echo_failed && a <= end; ++a) {
        if (v++ % n != 0) continue;
        const std::string ip = format_text("%u.%u.%u.%u", o1, o2, o3, unsigned(a));
        set_cur_device(w, ip, std::string());
        debug_line("m_cur_ip[%d]=%s\n", w, ip.c_str());

        const int echo = ping_device(ip);
        if (echo < 0) {
            // No echo can be sent from here at all: every address would read "unreachable".
            // The pass ends and the driver tells the user once what is missing.
            m_echo_failed = 1;
            break;
        }
        if (echo == 0) {
            set_status(w, WorkerStatus{WorkerActivity::unreachable, ip});
            m_dlg->user_report().WriteTagged("IPSCAN", "IP:%s unreachable ", ip.c_str());
            if (m_observer) m_observer->address_silent(ip);
            continue;
        }

        if (!m_dlg->admits_type(ip)) continue;

        int row;
        {
            std::lock_guard lock(g_list_lock);
            row = m_dlg->add_range_row(ip);
        }
        if (row < 0) continue;  // the window is gone
        // Asks the device to identify itself, so that its answer fills in the row's other cells.
        if (m_search) m_search->search(0, ip.c_str());
        m_dlg->device_begun(row, std::time(nullptr));
        m_dlg->set_check(row, true);
        ret = run_device(w, row, Mode::range);
    }
    return ret;
}

int UpgradeEngine::run_device(int w, int r, Mode mode) {
    const bool list = mode == Mode::list;
    const std::string ip = cur_ip(w);
    if (list) m_dlg->device_begun(r, std::time(nullptr));
    const auto t0 = Clock::now();
    if (m_observer) m_observer->device_taken(DeviceTaken{m_pass, w, r, !list, ip, cur_mac(w)});

    int result = 0;
    int images_done = 0;
    unsigned slots_done = 0;
    int j = 0;
    for (; j < kSlots; ++j) {
        if (m_img_len[j] == 0) continue;
        m_need_reboot[w] = (j == m_last_img || m_reboot_after[j]) ? 1 : 0;
        // A console line: standard error, never the debug log.
        if (list) std::fprintf(stderr, "m_need_reboot[%d]= %d\n", j, m_reboot_after[j]);

        if (m_fake_burn) {
            result = fake_process_one(ip, j, w, r, images_done);
        } else {
            const int attempts = list ? m_try_count + 1 : m_try_count;
            result = -1;
            for (int a = 0; a < attempts; ++a) {
                result = process_one(ip, j, w, r, images_done);
                if (result != -1) break;
                if (list) debug_line("process one retry = %d %d\n", attempts - a - 1, m_try_count);
            }
        }
        debug_line("process one %s %s ret = %d\n", ip.c_str(), m_url[j].c_str(), result);
        if (m_observer)
            m_observer->image_finished(
                ImageFinished{m_pass, w, r, ip, cur_mac(w), j, result != -1});
        if (result == -1) break;
        ++images_done;
        slots_done |= 1u << j;
        if (m_reboot_after[j]) std::this_thread::sleep_for(timing().reboot_pause);
    }
    const bool success = result != -1;
    const auto elapsed = Clock::now() - t0;
    if (list)
        debug_line("%s, i=%d \n", ip.c_str(), j);
    else
        debug_line("%s, i=%d, \n", ip.c_str(), j);

    if (!list) set_cur_device(w, ip, cut(m_dlg->lookup_range_mac(ip)));

    std::lock_guard lock(g_list_lock);
    end_device(w, r, mode, success, slots_done, elapsed);
    return result;
}

void UpgradeEngine::end_device(int w, int r, Mode mode, bool success, unsigned slots_done,
                               Clock::duration elapsed) {
    const bool list = mode == Mode::list;
    std::string ip, mac;
    cur_device(w, ip, mac);
    // Success unticks, failure ticks: the tick is what the next pass still has to do.
    m_dlg->device_ended(r, success, std::chrono::duration_cast<std::chrono::seconds>(elapsed));
    LogFile& report = m_dlg->user_report();
    if (list)
        report.WriteTagged("SEARCH",
                           success ? "upgrade success: IP:%s MAC:%s"
                                   : "upgrade failure: IP:%s MAC:%s",
                           ip.c_str(), mac.c_str());
    else
        report.WriteTagged("IPSCAN",
                           success ? "upgrade success: IP: %s MAC: %s"
                                   : "upgrade failure: IP: %s MAC: %s",
                           ip.c_str(), mac.c_str());
    m_dlg->set_record_tick(m_ip_scan ? RecordTable::range : RecordTable::found, ip, mac, !success);
    ++m_done;
    set_counter_and_bar();

    if (m_observer) {
        DeviceResult res;
        res.pass = m_pass;
        res.worker = w;
        res.row = r;
        res.range = !list;
        res.success = success;
        res.ip = ip;
        res.mac = mac;
        res.slots_done = slots_done;
        res.elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed);
        m_observer->device_ended(res);
    }
    // The reboot record went out with the last image: from now on the device is watched.
    if (success && m_come_back)
        m_come_back->watch(r, ip, mac, m_dlg->device_text(r, DeviceField::version));
}

// ---------------------------------------------------------------- conflict watch

bool UpgradeEngine::watched_device(int i, std::string& ip, std::string& mac) const {
    if (i < 0 || i >= kWorkers || !m_thread_live[i]) return false;
    cur_device(i, ip, mac);
    return true;
}

void UpgradeEngine::flag_conflict(int i, const std::string& ip) {
    if (i < 0 || i >= kWorkers) return;
    {
        std::lock_guard lock(m_text_lock[i]);
        if (m_cur_ip[i] != ip) return;
        m_ip_conflict[i] = 1;
    }
    { std::lock_guard<std::mutex> lk(m_conflict_lock); }
    m_conflict_raised.notify_all();
}

void UpgradeEngine::flag_conflict(int i) {
    if (i < 0 || i >= kWorkers) return;
    m_ip_conflict[i] = 1;
    // Taking the lock orders the store before a waiting worker's next look at the flag, so the
    // notify cannot fall between its look and its wait.
    { std::lock_guard<std::mutex> lk(m_conflict_lock); }
    m_conflict_raised.notify_all();
}

}  // namespace quillon

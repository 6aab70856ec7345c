// SPDX-License-Identifier: Apache-2.0
#pragma once
// The upgrade engine: the image set, the batch settings, the running flag, the pass counters and
// ten worker slots. Exactly one exists in a program; it is created before the window and handed to
// whoever needs it (it is not fetched through a global).
//
// Threads and what they may touch:
// - the window thread writes the batch settings (m_url, m_ip_*, m_thread_num, ...) only while no
//   batch runs, then sets m_running under g_run_lock; the atomic store publishes those writes;
// - the driver thread loads and releases the image set while no worker exists;
// - worker w touches only the members of slot w (m_sock[w], m_sent[w], ...) and reads the image
//   set, which is read-only while workers run;
// - the discovery receive thread reads m_thread_live, the workers' current device and sets
//   m_ip_conflict[w].
//
// Locks, in the only order in which they may nest:
//   g_list_lock  ->  (window port calls)  ->  m_text_lock[w]
//   g_list_lock  ->  (the observer's own lock, in BatchObserver::device_ended)
// g_run_lock guards the writes of m_running and nests with nothing; m_driver_lock guards only the
// driver's wake-up wait and nests with nothing either (start_batch takes one after the other).
// m_conflict_lock guards only the workers' conflict waits: a worker holds it while it waits,
// flag_conflict takes it for a moment before it notifies; it nests with nothing.
// m_text_lock[w] is a leaf: it is held only to copy one worker's texts and never while calling
// the window, logging or taking another lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "contract/worker_status.h"
#include "engine/batch_settings.h"
#include "engine/wire_format.h"
#include "platform/socket.h"

namespace quillon {

class WindowPort;
class BatchObserver;
class ComeBackWatch;
class FirstWave;

inline constexpr int kWorkers = 10;
inline constexpr int kSlots = 4;
inline constexpr uint16_t kUpgradePort = 9800;
// Largest piece of image data handed to one send.
inline constexpr std::size_t kSendChunk = 32768;

// Role names of the four image slots (BOOT, KERNEL, SYSTEM, FW in the window).
inline constexpr const char* kSlotRole[kSlots] = {"boot", "kernel", "system", "app"};

// Sends a discovery search request. The engine does not own the discovery endpoint; the program
// hands it one (BrelkMulEvent through SearchSenderFor below), tests hand it a recorder.
class SearchSender {
public:
    virtual ~SearchSender() = default;
    // Same meaning as BrelkMulEvent::search: target null = broadcast, both = also the 2nd socket.
    virtual void search(int both, const char* target) = 0;
};

// Adapts any endpoint with a `search(int, const char*)` member (BrelkMulEvent) without making the
// engine link the discovery module.
template <class Endpoint>
class SearchSenderFor final : public SearchSender {
public:
    explicit SearchSenderFor(Endpoint& endpoint) : endpoint_(endpoint) {}
    void search(int both, const char* target) override { endpoint_.search(both, target); }

private:
    Endpoint& endpoint_;
};

// What a view shows of one worker, copied together (the texts under the worker's text lock).
struct WorkerSnapshot {
    bool live = false;  // the worker has a thread of the current pass
    std::string cur_ip, cur_mac;
    WorkerStatus status;
    int img_percent = 0, dev_percent = 0;
};

// One slot of the loaded image set, as the observers of images_loaded read it. The pointers stay
// valid until the set is released at the end of the batch; len 0 = the slot is not loaded.
struct LoadedImage {
    std::string path;
    uint32_t len = 0;                   // data bytes loaded
    const ImageHeader* head = nullptr;  // the 204-byte trailer, sent as header
    uint32_t crc32 = 0;                 // zlib's crc32 of the len data bytes
    const uint8_t* data = nullptr;
    bool reboot_after = false;
};

class UpgradeEngine {
public:
    UpgradeEngine();
    UpgradeEngine(const UpgradeEngine&) = delete;
    UpgradeEngine& operator=(const UpgradeEngine&) = delete;
    ~UpgradeEngine();

    // ---------------- wiring (once, before start_driver) ----------------
    void set_window(WindowPort* dlg) { m_dlg = dlg; }
    WindowPort* window() const { return m_dlg; }
    void set_search(SearchSender* search) { m_search = search; }
    SearchSender* search() const { return m_search; }
    void set_observer(BatchObserver* observer) { m_observer = observer; }
    void set_come_back(ComeBackWatch* watch) { m_come_back = watch; }
    void set_first_wave(FirstWave* wave) { m_first_wave = wave; }
    ComeBackWatch* come_back() const { return m_come_back; }
    void set_upgrade_port(uint16_t port) { m_port = port; }
    void set_fake_burn(int on) { m_fake_burn = on ? 1 : 0; }

    // ---------------- what the front ends read ----------------
    bool running() const { return m_running.load() == 1; }
    // The graceful stop: the devices in hand finish, no other begins, no retry pass.
    void request_stop() { m_running.store(0); }
    // A range pass found that no ICMP echo can be sent from this process.
    bool echo_failed() const { return m_echo_failed.load() != 0; }
    int auto_retry() const { return m_auto_retry.load(); }
    int fake_burn() const { return m_fake_burn; }
    // The settings of the batch under way (or of the last one).
    BatchSettings settings() const;
    WorkerSnapshot worker(int w) const;
    LoadedImage loaded_image(int slot) const;

    // ---------------- the window's hidden conflict test, on worker 0 ----------------
    // Worker 0's current address and MAC, its conflict flag cleared.
    void arm_conflict_probe(const std::string& ip, const std::string& mac);
    // True (and the flag cleared) when discovery reported a conflict for worker 0; `ip` and
    // `mac` are then worker 0's current address and MAC.
    bool take_conflict(std::string& ip, std::string& mac);

    // ---------------- batch driver (batch_driver.cpp) ----------------
    // Starts the driver thread (driver_loop) once; the window must be set.
    void start_driver();
    // START, the one way both front ends begin a batch: copies the settings into the engine,
    // sets m_running under g_run_lock, then wakes the driver so that the batch begins at once
    // instead of at its next poll. Only while no batch runs.
    void start_batch(const BatchSettings& settings);
    // Follows the auto-retry option at every change (also during a batch).
    void set_auto_retry(int on) { m_auto_retry = on ? 1 : 0; }
    // Ends driver_loop after the batch under way (if any) and joins the thread. Call it with
    // m_running cleared when a batch must not run to its end. Not from the driver thread.
    void stop_driver();

    // ---------------- for the discovery intake's conflict watch ----------------
    // False when worker i has no thread; otherwise its current address and expected MAC, taken
    // together. Any thread; never waits for the window.
    bool watched_device(int i, std::string& ip, std::string& mac) const;
    // m_ip_conflict[i] = 1, and worker i's conflict wait ends at once. Whoever raises the flag
    // goes through here: a bare store is seen only when the wait's step runs out.
    void flag_conflict(int i);
    // The same, only while worker i is still on address `ip` (checked together with the store
    // under the worker's text lock, against which set_cur_device clears the flag).
    void flag_conflict(int i, const std::string& ip);

private:
    // White-box access for the engine's own tests and benchmarks (engine_internals.h); no
    // front end includes it.
    friend class EngineInternals;

    // ---------------- image set (written only while no worker runs) ----------------
    std::string m_url[kSlots];                      // full path per slot; empty = not used
    std::unique_ptr<uint8_t[]> m_img_data[kSlots];  // the N data bytes of a loaded slot
    uint32_t m_img_len[kSlots] = {};                // N; 0 = not loaded
    ImageHeader m_img_head[kSlots];                 // the 204-byte trailer, sent as header
    uint32_t m_img_crc32[kSlots] = {};              // zlib's crc32 of the N data bytes
    int m_reboot_after[kSlots] = {};                // device reboots after this slot
    int m_last_img = -1;                            // last slot whose path is not empty
    int m_img_count = 0;                            // slots loaded in this batch

    // ---------------- batch settings and state ----------------
    WindowPort* m_dlg = nullptr;          // the main window, set once at start-up
    SearchSender* m_search = nullptr;     // the discovery endpoint's search, set at start-up
    BatchObserver* m_observer = nullptr;  // optional; set before the driver starts
    // Optional; set before the driver starts: follows every upgraded device through its reboot,
    // and the end of a batch waits for it.
    ComeBackWatch* m_come_back = nullptr;
    // Optional; set before the driver starts: a first wave run alone before the other rows
    // (quillon-cli's canary).
    FirstWave* m_first_wave = nullptr;
    uint16_t m_port = kUpgradePort;  // the devices' upgrade port; tests use another
    std::thread m_driver_thread;     // started once at start-up
    std::atomic<int> m_running{0};   // written under g_run_lock
    std::atomic<bool> m_batch_requested{
        false};                              // start_batch gave a batch the driver has not taken
    uint32_t m_ip_begin = 0;                 // first address of the range, host order
    int m_ip_end = 0;                        // last octet of the range
    int m_ip_scan = 0;                       // range option at START
    int m_thread_num = 2;                    // workers of a pass, 1 to 10
    std::atomic<int> m_total{0};             // devices (or addresses) of the current pass
    std::atomic<int> m_done{0};              // devices finished in the current pass
    std::atomic<int> m_left{0};              // devices left ticked after a pass
    std::atomic<int> m_auto_retry{0};        // follows the auto-retry box at every change
    int m_try_count = 2;                     // attempts per image
    int m_fake_burn = 0;                     // use the simulated exchange
    std::atomic<int> m_echo_unavailable{0};  // 1: no ICMP echo socket can be opened here
    // Decided once per pass by assign_rows, read by every worker of the pass: 1 = the range scan.
    // (Each worker deciding for itself by looking at the list raced with the first range row.)
    std::atomic<int> m_range_pass{0};
    // 1: a range pass found that no echo can be sent; the pass ends and the user is told once.
    std::atomic<int> m_echo_failed{0};
    std::atomic<int> m_pass{0};  // number of the pass under way, 0 = the first

    // ---------------- worker slots ----------------
    Socket m_sock[kWorkers];         // worker sockets; invalid (kNoSocket) when none
    uint32_t m_sent[kWorkers] = {};  // image bytes sent for the current image
    std::thread m_thread[kWorkers];  // worker threads of the current pass (driver only)
    // "m_thread[w] is set" for other threads: true from the worker's start until it is joined.
    std::atomic<bool> m_thread_live[kWorkers] = {};
    std::atomic<int> m_ip_conflict[kWorkers] = {};  // set by the intake, cleared by worker w
    std::atomic<int> m_img_percent[kWorkers] = {};
    std::atomic<int> m_dev_percent[kWorkers] = {};
    int m_need_reboot[kWorkers] = {};  // send the reboot record when this image finishes

    // Process-wide locks (members because the engine is process-wide).
    std::mutex g_run_lock;   // the writes of m_running (START and the driver)
    std::mutex g_list_lock;  // a range-mode row insertion; a worker's whole end-of-device section

    // ---- the workers' current device and status line (copied under m_text_lock[w]) ----
    void set_cur_device(int w, const std::string& ip, const std::string& mac);
    std::string cur_ip(int w) const;
    std::string cur_mac(int w) const;
    // Both texts of one worker taken together, for the conflict detection of the intake.
    void cur_device(int w, std::string& ip, std::string& mac) const;
    void set_status(int w, const WorkerStatus& status);
    WorkerStatus status(int w) const;
    // Every worker's status, in worker order.
    std::vector<WorkerStatus> statuses() const;

    // ---------------- image set (image_set.cpp) ----------------
    // Releases the previous set, then loads and checks every slot with a path. True when at least
    // one slot is loaded and no used slot failed.
    bool load_images();
    void release_images();

    // ---------------- upgrade exchange ----------------
    // 0 with m_sock[w] connected, or -1 with m_sock[w] closed (connect.cpp).
    int connect_device(const std::string& ip, int w, int images_done, int row);
    // One image on one device: 1 when the device reported success, -1 on any failure. No socket
    // of the worker is open when it returns (exchange.cpp).
    int process_one(const std::string& ip, int slot, int w, int row, int images_done);
    // Reads what the device sent and acts on every complete record: 0 go on, 1 image finished
    // successfully, -1 image failed or connection gone (exchange.cpp).
    int recv_cmd(int w, int slot, int row, int images_done);
    // The simulated twin of process_one: 0 success, -1 failure; opens no socket (fake_exchange.cpp).
    int fake_process_one(const std::string& ip, int slot, int w, int row, int images_done);

    // ---------------- reachability and conflicts ----------------
    // 1 answered, 0 not answered, -1 no echo can be sent from this process at all (then
    // m_echo_unavailable is 1 and echo_unavailable_text() says why) (reachability.cpp).
    int ping_device(const std::string& ip);
    static const char* echo_unavailable_text();
    // 1 when another device claims `ip` (the report line is written and the flag cleared), else 0
    // (conflict_check.cpp).
    int check_ip_conflict(const std::string& ip, int w);

    // The running flag and the driver's wake-up alone, for settings already in the members.
    void start_batch();
    void driver_loop();
    void run_batch();
    void assign_rows();
    int worker_main(int w);
    int process_list(int w);
    int process_range(int w);

    using Clock = std::chrono::steady_clock;
    enum class Mode { list, range };
    // One device of worker w on row r: the image loop, then the end of device.
    int run_device(int w, int r, Mode mode);
    // The end-of-device section (g_list_lock held by the caller).
    void end_device(int w, int r, Mode mode, bool success, unsigned slots_done,
                    Clock::duration elapsed);
    // Creates workers 0 .. n-1 of a pass, each told its index; joins them all.
    void start_workers(int n);
    void join_workers();
    // "(%3d/%-3d)" of m_done and m_total, and the batch bar.
    void set_counter_and_bar();
    // m_running = 0 under g_run_lock.
    void clear_running();

    std::atomic<bool> m_driver_stop{false};
    std::mutex m_driver_lock;  // guards the driver's wake-up wait only
    std::condition_variable m_driver_wake;
    std::mutex m_conflict_lock;  // guards the workers' conflict waits only
    std::condition_variable m_conflict_raised;

    // Steps 1 and 2 of the conflict check: the directed search and the up to three waits.
    // True when worker w's conflict flag is set at the end.
    bool query_and_wait_conflict(const std::string& ip, int w);
    // The display of the device's progress, shared by the real and the simulated exchange:
    // an S or B record with percentage p (`simulated`: from the fake-burn exchange) ...
    void show_progress(int w, int slot, int row, int images_done, uint32_t cmd, uint32_t p,
                       bool simulated);
    // ... the status line and image bar of an F record ...
    void show_finish(int w, int slot);
    // ... and the device bar and row of a successful F record.
    void show_image_done(int w, int slot, int row, int images_done);
    // Acts on one complete record: 0 go on, 1 finished, -1 failed.
    int act_on_record(int w, int slot, int row, int images_done, const uint8_t* rec);
    void send_reboot(int w);
    // Closes the worker's socket and forgets any partial record.
    void close_worker_socket(int w);

    mutable std::mutex m_text_lock[kWorkers];
    std::string m_cur_ip[kWorkers];   // guarded by m_text_lock[w]
    std::string m_cur_mac[kWorkers];  // guarded by m_text_lock[w]
    WorkerStatus m_status[kWorkers];  // guarded by m_text_lock[w]

    // Reassembly of records that TCP split, per worker (worker thread only).
    uint8_t m_rx[kWorkers][kCmdRecordSize] = {};
    std::size_t m_rx_len[kWorkers] = {};
    // Last time the worker's exchange received or sent anything (worker thread only).
    Clock::time_point m_last_activity[kWorkers];
};

}  // namespace quillon

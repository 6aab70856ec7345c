// SPDX-License-Identifier: Apache-2.0
// The desktop program under load, offscreen, with a 10 ms timer in its event loop (see
// window_probe.h) telling how long the loop was kept from running. Two modes:
//
//   search: the start-up search of a large simulated fleet (every answer becomes a row of the
//           list through the window port);
//   batch:  the start-up search lists the fleet, then the benchmark does what an installer does
//           through the real window: fills the image slots (package box off, each slot's browse
//           button, the file dialog answered with the image), ticks every listed row, chooses the
//           number of workers and presses START; the whole batch runs against the fleet, every
//           worker request crossing to the window thread as in use, until the end message;
//   come-back: the start-up search lists the fleet, then every listed device is handed to the
//           program's come-back watcher at the same moment, as if all had just been sent the
//           reboot record; the wait runs with the program's own timings (a directed search per
//           device every 5 s, spaced by the discovery's pause) until every device is accounted
//           for.
//
// Usage, in the lab's tool namespace with QT_QPA_PLATFORM=offscreen, in an empty folder (the
// program writes its log folder there):
//   quillon_window_bench --expect N [--seconds S] --out FILE
//   quillon_window_bench --batch --expect N --image PATH [--image PATH ...] [--workers W]
//                        [--batch-seconds S] --out FILE
//   quillon_window_bench --come-back --expect N [--batch-seconds S] --out FILE
// FILE gets one JSON object. Search: rows listed, distinct addresses, when the list first held N
// rows (ms after the search went out), the loop's largest and 99th-percentile delay (ms).
// Batch: rows listed and ticked, the batch's wall time (START to the end message), devices that
// succeeded and failed, the loop's delay during the batch (p50, p99, max), the resident memory
// before and at its peak during the batch, the GUI thread's time per kind of event, and the
// latest runs of the timer and the longest events (when, after START), for tracing a delay.
// Come-back: rows listed and handed over, devices back, not back and not checked, rows reported
// twice, the wait's wall time, and the loop's delay during the wait (p50, p99, max).
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "app/qt/quillon_app.h"
#include "engine/batch_observer.h"
#include "engine/come_back_watch.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"
#include "window/device_table.h"
#include "window/control_ids.h"
#include "window_probe.h"

namespace quillon::bench {
namespace {

struct Options {
    bool batch = false;
    bool come_back = false;
    int expect = 0;
    double seconds = 4.5;        // search: the 3000 ms search window and some time after it
    double batch_seconds = 900;  // batch: give up after this long
    int workers = 10;
    std::vector<std::string> images;
    std::string out_path;
};

// The window with its outside world answered by the benchmark: message boxes are noted and
// answered at once (questions with No), file dialogs answer from a queue, and the user report
// is not handed to a browser.
class BenchDlg final : public CQuillonDlg {
public:
    struct Shown {
        std::string text;
        qint64 at_ns;
    };
    const QElapsedTimer* clock = nullptr;
    std::vector<Shown> shown;
    std::deque<std::string> files;
    std::vector<std::string> urls;

    // The control with this number; a window without it cannot be driven, so the run ends.
    template <class W = QWidget>
    W* ctl(int id) const {
        W* w = findChild<W*>(QString::number(id));
        if (!w) {
            std::fprintf(stderr, "quillon_window_bench: no control %d in the window\n", id);
            std::_Exit(1);
        }
        return w;
    }
    QTableView* list() const { return ctl<QTableView>(IDC_DEVICE_LIST); }

protected:
    bool msg_box(const std::string& text, MsgKind) override {
        shown.push_back({text, clock ? clock->nsecsElapsed() : 0});
        return false;  // OK for a message; No for a question: nothing is ever stopped
    }
    std::string open_file_dialog(const std::string&) override {
        if (files.empty()) return {};
        std::string f = files.front();
        files.pop_front();
        return f;
    }
    void open_url(const std::string& url) override { urls.push_back(url); }
    void start_ping(const std::string&) override {}
};

// Resident memory from /proc/self/status: "VmRSS" (now) or "VmHWM" (the peak), in bytes.
long long status_bytes(const char* key) {
    std::ifstream in("/proc/self/status");
    const std::size_t n = std::strlen(key);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::atoll(line.c_str() + n + 1) * 1024;
    }
    return -1;
}

// CPU time of the whole process so far (every thread, user and system), in seconds.
double process_cpu_s() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double gui_thread_cpu_s() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Starts the peak ("VmHWM") again from the current size: the batch's own peak is then read at
// its end.
bool reset_peak_rss() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

std::string json_text(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out + "\"";
}

[[noreturn]] void finish(const std::string& out_path, const std::string& json) {
    std::FILE* out = std::fopen(out_path.c_str(), "w");
    if (!out) {
        std::perror(out_path.c_str());
        std::_Exit(1);
    }
    std::fprintf(out, "%s\n", json.c_str());
    std::fclose(out);
    // As the program itself ends: the batch driver waits for the next batch for as long as the
    // process lives.
    std::fflush(nullptr);
    std::_Exit(0);
}

// ------------------------------------------------------------------ search mode
int run_search(const Options& o, TimedApplication& qapp, const QElapsedTimer& clock) {
    CQuillonApp app;
    if (app.init_instance() != 0) {
        std::fprintf(stderr, "quillon_window_bench: the window could not be set up\n");
        return 1;
    }
    const qint64 searched = clock.nsecsElapsed();  // init_instance ends with the first search
    WindowPort& port = app.dlg().port();

    LoopProbe probe(clock);
    double all_listed_ms = -1;
    QTimer watch;  // the list is read on the GUI thread, between the probe's runs
    watch.setInterval(LoopProbe::kTickMs);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (all_listed_ms < 0 && port.row_count() >= o.expect)
            all_listed_ms = double(clock.nsecsElapsed() - searched) / 1e6;
    });
    probe.start();
    watch.start();
    QTimer::singleShot(int(o.seconds * 1000), &qapp, [] { QApplication::quit(); });
    QApplication::exec();
    probe.stop();

    const int rows = port.row_count();
    std::set<std::string> ips;
    for (int r = 0; r < rows; ++r) ips.insert(port.device_text(r, DeviceField::ip));
    const std::vector<double> late = probe.delays(0, clock.nsecsElapsed());
    // Never all listed: null, which no target accepts.
    const std::string listed_at = all_listed_ms < 0 ? "null" : std::to_string(all_listed_ms);
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "{\"rows\":%d,\"distinct\":%zu,\"all_listed_ms\":%s,\"loop_delay_max_ms\":%.1f,"
                  "\"loop_delay_p99_ms\":%.1f,\"ticks\":%zu}",
                  rows, ips.size(), listed_at.c_str(), late.empty() ? 0 : late.back(),
                  quantile(late, 0.99), late.size());
    finish(o.out_path, buf);
}

// ------------------------------------------------------------------ batch mode
int run_batch(const Options& o, TimedApplication& qapp, const QElapsedTimer& clock) {
    BenchDlg* dlg = nullptr;
    AppOptions ao;
    ao.make_window = [&] {
        auto d = std::make_unique<BenchDlg>();
        d->clock = &clock;
        dlg = d.get();
        return d;
    };
    CQuillonApp app(std::move(ao));
    if (app.init_instance() != 0 || !dlg) {
        std::fprintf(stderr, "quillon_window_bench: the window could not be set up\n");
        return 1;
    }
    WindowPort& port = dlg->port();
    auto* search = dlg->ctl<QPushButton>(IDC_SEARCH);
    auto* start = dlg->ctl<QPushButton>(IDC_START);
    const std::string done_text = T(TextId::msg_batch_done);
    const std::string stopped_text = T(TextId::msg_batch_stopped);

    LoopProbe probe(clock);
    probe.start();

    // What happened, for the report.
    enum class Stage { listing, running, ending, over } stage = Stage::listing;
    std::string why;  // set when the batch could not be run as asked
    int rows = 0, ticked_by_bench = 0;
    qint64 start_ns = -1, end_ns = -1;
    long long rss_before = -1, rss_peak_startup = -1;
    double cpu_at_start = 0, gui_cpu_at_start = 0, cpu_at_end = 0, gui_cpu_at_end = 0;
    bool peak_reset = false;
    std::string end_message;
    const qint64 listing_deadline = clock.nsecsElapsed() + 10'000'000'000LL;

    auto press_start = [&] {
        rows = port.row_count();
        // Images: the package box off turns the four slots on; each slot's browse button asks
        // the file dialog, which answers with the image.
        auto* zip = dlg->ctl<QCheckBox>(IDC_ZIP_CHECK);
        if (zip->isChecked()) zip->click();
        for (std::size_t i = 0; i < o.images.size() && i < 4; ++i) {
            dlg->files.push_back(o.images[i]);
            dlg->ctl<QPushButton>(kSlotBrowse[i])->click();
        }
        // Every listed row ticked, as a click on its check box does.
        QAbstractItemModel* model = dlg->list()->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            const QModelIndex i = model->index(r, 0);
            if (model->data(i, Qt::CheckStateRole).toInt() != Qt::Checked) {
                model->setData(i, Qt::Checked, Qt::CheckStateRole);
                ++ticked_by_bench;
            }
        }
        dlg->ctl<QComboBox>(IDC_THREADS)->setCurrentIndex(o.workers - 1);

        rss_before = status_bytes("VmRSS");
        rss_peak_startup = status_bytes("VmHWM");
        peak_reset = reset_peak_rss();
        qapp.reset();
        qapp.record(true);
        cpu_at_start = process_cpu_s();
        gui_cpu_at_start = gui_thread_cpu_s();
        start_ns = clock.nsecsElapsed();
        start->click();
        if (start->isEnabled()) {  // refused: a message says why
            why = "START did not begin a batch";
            for (const auto& s : dlg->shown) why += ": " + s.text;
            stage = Stage::over;
            QApplication::quit();
            return;
        }
        stage = Stage::running;
    };

    QTimer step;
    step.setInterval(20);
    QObject::connect(&step, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        switch (stage) {
            case Stage::listing:
                // The search window has closed (SEARCH enabled again) with every device listed, or
                // the time is up: the batch runs over what is listed.
                if ((port.row_count() >= o.expect && search->isEnabled()) || now > listing_deadline)
                    press_start();
                break;
            case Stage::running:
                for (const auto& s : dlg->shown) {
                    if (s.text == done_text || s.text == stopped_text) {
                        end_ns = s.at_ns;
                        end_message = s.text;
                        cpu_at_end = process_cpu_s();
                        gui_cpu_at_end = gui_thread_cpu_s();
                        stage = Stage::ending;
                    }
                }
                if (stage == Stage::running && now - start_ns > qint64(o.batch_seconds * 1e9)) {
                    why = "the batch did not end within the time given";
                    stage = Stage::over;
                    QApplication::quit();
                }
                break;
            case Stage::ending:
                // The end message, the report, then the window idle again.
                if (start->isEnabled() || now - end_ns > 5'000'000'000LL) {
                    stage = Stage::over;
                    QApplication::quit();
                }
                break;
            case Stage::over: break;
        }
    });
    step.start();
    QApplication::exec();
    step.stop();
    probe.stop();
    qapp.record(false);

    const long long rss_peak_batch = status_bytes("VmHWM");
    const qint64 to_ns = end_ns >= 0 ? end_ns : clock.nsecsElapsed();
    const std::vector<double> late = start_ns >= 0 ? probe.delays(start_ns, to_ns)
                                                   : std::vector<double>{};
    int succeeded = 0, failed = 0, still_ticked = 0;
    const int rows_now = port.row_count();
    for (int r = 0; r < rows_now; ++r) {
        const std::string st = port.device_text(r, DeviceField::state);
        succeeded += st == T(TextId::st_success);
        failed += st == T(TextId::st_failure);
        still_ticked += port.get_check(r) ? 1 : 0;
    }
    std::string messages = "[";
    for (std::size_t i = 0; i < dlg->shown.size(); ++i) {
        if (i) messages += ',';
        messages += json_text(dlg->shown[i].text);
    }
    messages += "]";

    char buf[1200];
    std::snprintf(buf, sizeof buf,
                  "{\"rows\":%d,\"ticked_by_bench\":%d,\"workers\":%d,\"images\":%zu,\"ended\":%s,"
                  "\"end_message\":%s,\"batch_wall_s\":%s,\"succeeded\":%d,\"failed\":%d,"
                  "\"still_ticked\":%d,\"loop_delay_p50_ms\":%.2f,\"loop_delay_p99_ms\":%.2f,"
                  "\"loop_delay_max_ms\":%.2f,\"ticks\":%zu,\"rss_before_batch_bytes\":%lld,"
                  "\"rss_peak_startup_bytes\":%lld,\"rss_peak_batch_bytes\":%lld,\"peak_reset\":%s,"
                  "\"report_opened\":%zu,\"batch_cpu_s\":%.2f,\"batch_gui_thread_cpu_s\":%.2f,",
                  rows, ticked_by_bench, o.workers, o.images.size(), end_ns >= 0 ? "true" : "false",
                  json_text(end_message).c_str(),
                  end_ns >= 0 ? std::to_string(double(end_ns - start_ns) / 1e9).c_str() : "null",
                  succeeded, failed, still_ticked, quantile(late, 0.5), quantile(late, 0.99),
                  late.empty() ? 0 : late.back(), late.size(), rss_before, rss_peak_startup,
                  rss_peak_batch, peak_reset ? "true" : "false", dlg->urls.size(),
                  end_ns >= 0 ? cpu_at_end - cpu_at_start : 0.0,
                  end_ns >= 0 ? gui_cpu_at_end - gui_cpu_at_start : 0.0);
    finish(o.out_path, std::string(buf) + "\"messages\":" + messages +
                           ",\"gui_events\":" + qapp.per_type_json(8) +
                           ",\"worst_ticks\":" + probe.worst_json(start_ns, to_ns, 8) +
                           ",\"longest_events\":" + qapp.longest_json(start_ns, 8) +
                           ",\"why\":" + (why.empty() ? "null" : json_text(why)) + "}");
}

// ------------------------------------------------------------------ come-back mode
// Counts what the watcher reports, per row.
class ComeBackCount final : public BatchObserver {
public:
    void device_came_back(const ComeBackResult& r) override {
        std::lock_guard l(m_);
        ++per_row_[r.row];
        if (!r.checked)
            ++unchecked_;
        else if (r.came_back)
            ++back_;
        else
            ++not_back_;
    }
    void figures(int& back, int& not_back, int& unchecked, int& rows, int& twice) {
        std::lock_guard l(m_);
        back = back_;
        not_back = not_back_;
        unchecked = unchecked_;
        rows = int(per_row_.size());
        twice = 0;
        for (const auto& [row, n] : per_row_) twice += n > 1 ? 1 : 0;
    }

private:
    std::mutex m_;
    std::map<int, int> per_row_;
    int back_ = 0, not_back_ = 0, unchecked_ = 0;
};

int run_come_back(const Options& o, TimedApplication& qapp, const QElapsedTimer& clock) {
    CQuillonApp app;
    if (app.init_instance() != 0) {
        std::fprintf(stderr, "quillon_window_bench: the window could not be set up\n");
        return 1;
    }
    WindowPort& port = app.dlg().port();
    auto* search = app.dlg().findChild<QPushButton*>(QString::number(IDC_SEARCH));
    ComeBackWatch& watch = app.come_back();
    ComeBackCount count;
    LoopProbe probe(clock);
    probe.start();

    std::atomic<bool> wait_over{false};
    std::thread driver;
    int handed = 0;
    qint64 start_ns = -1, end_ns = -1;
    std::atomic<qint64> over_ns{-1};
    std::string why;
    const qint64 listing_deadline = clock.nsecsElapsed() + 10'000'000'000LL;
    enum class Stage { listing, waiting, over } stage = Stage::listing;

    QTimer step;
    step.setInterval(20);
    QObject::connect(&step, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (stage == Stage::listing) {
            if (!((port.row_count() >= o.expect && search && search->isEnabled()) ||
                  now > listing_deadline))
                return;
            // As the batch leaves them: every listed device upgraded (unticked), all of them
            // sent the reboot record at once.
            struct Dev {
                int row;
                std::string ip, mac, version;
            };
            std::vector<Dev> devs;
            for (int r = 0; r < port.row_count(); ++r) {
                port.set_check(r, false);
                devs.push_back({r, port.device_text(r, DeviceField::ip),
                                port.device_text(r, DeviceField::mac),
                                port.device_text(r, DeviceField::version)});
            }
            handed = int(devs.size());
            watch.begin_batch(port, app.engine().search(), &count, true);
            start_ns = now;
            stage = Stage::waiting;
            driver = std::thread([&, devs = std::move(devs)] {
                for (const Dev& d : devs) watch.watch(d.row, d.ip, d.mac, d.version);
                watch.wait_all([] { return false; });
                over_ns = clock.nsecsElapsed();
                wait_over = true;
            });
        } else if (stage == Stage::waiting) {
            if (wait_over) {
                end_ns = over_ns;
                stage = Stage::over;
                QApplication::quit();
            } else if (now - start_ns > qint64(o.batch_seconds * 1e9)) {
                why = "the wait did not end within the time given";
                stage = Stage::over;
                QApplication::quit();
            }
        }
    });
    step.start();
    QApplication::exec();
    step.stop();
    probe.stop();
    if (!wait_over) finish(o.out_path, "{\"why\":" + json_text(why.empty() ? "no end" : why) + "}");
    driver.join();
    (void)qapp;

    int back = 0, not_back = 0, unchecked = 0, reported_rows = 0, twice = 0;
    count.figures(back, not_back, unchecked, reported_rows, twice);
    const std::vector<double> late = probe.delays(start_ns, end_ns);
    char buf[600];
    std::snprintf(
        buf, sizeof buf,
        "{\"rows\":%d,\"handed\":%d,\"back\":%d,\"not_back\":%d,\"not_checked\":%d,"
        "\"reported_rows\":%d,\"reported_twice\":%d,\"wait_wall_s\":%.3f,"
        "\"loop_delay_p50_ms\":%.2f,\"loop_delay_p99_ms\":%.2f,\"loop_delay_max_ms\":%.2f,"
        "\"ticks\":%zu,\"interval_s\":%.1f,\"limit_s\":%.1f}",
        port.row_count(), handed, back, not_back, unchecked, reported_rows, twice,
        double(end_ns - start_ns) / 1e9, quantile(late, 0.5), quantile(late, 0.99),
        late.empty() ? 0 : late.back(), late.size(),
        double(timing().come_back_interval.count()) / 1000, double(watch.limit().count()) / 1000);
    finish(o.out_path, buf);
}

}  // namespace
}  // namespace quillon::bench

int main(int argc, char** argv) {
    quillon::bench::Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--batch")
            o.batch = true;
        else if (a == "--come-back")
            o.come_back = true;
        else if (a == "--expect" && more)
            o.expect = std::atoi(argv[++i]);
        else if (a == "--seconds" && more)
            o.seconds = std::atof(argv[++i]);
        else if (a == "--batch-seconds" && more)
            o.batch_seconds = std::atof(argv[++i]);
        else if (a == "--workers" && more)
            o.workers = std::atoi(argv[++i]);
        else if (a == "--image" && more)
            o.images.emplace_back(argv[++i]);
        else if (a == "--out" && more)
            o.out_path = argv[++i];
    }
    if (o.out_path.empty() || o.expect < 1 || (o.batch && o.images.empty()) ||
        o.images.size() > 4 || o.workers < 1 || o.workers > 10) {
        std::fprintf(
            stderr,
            "usage: quillon_window_bench --expect N [--seconds S] --out FILE\n"
            "       quillon_window_bench --batch --expect N --image PATH [--image PATH ...]\n"
            "                            [--workers 1..10] [--batch-seconds S] --out FILE\n"
            "       quillon_window_bench --come-back --expect N [--batch-seconds S] --out FILE\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    quillon::bench::TimedApplication qapp(argc, argv, clock);
    if (o.come_back) return quillon::bench::run_come_back(o, qapp, clock);
    return o.batch ? quillon::bench::run_batch(o, qapp, clock)
                   : quillon::bench::run_search(o, qapp, clock);
}

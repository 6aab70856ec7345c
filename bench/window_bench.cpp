// The desktop program under load, offscreen: the start-up search of a large simulated fleet
// (every answer becomes a row of the list through the window port) and how long the window's
// event loop was kept from running meanwhile. A timer asks to run every 10 ms; how late each of
// its runs comes is how long the loop was busy elsewhere, which is what a person feels as a
// frozen window.
//
// Usage, in the lab's tool namespace with QT_QPA_PLATFORM=offscreen, in an empty folder (the
// program writes its log folder there):
//   quillon_window_bench --expect N [--seconds S] --out FILE
// FILE gets one JSON object: rows listed, distinct addresses, when the list first held N rows
// (ms after the search went out), and the event loop's largest and 99th-percentile delay (ms).
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/qt/quillon_app.h"

int main(int argc, char** argv) {
    int expect = 0;
    double seconds = 4.5;  // the 3000 ms search window and some time after it
    std::string out_path;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--expect" && i + 1 < argc) expect = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--out" && i + 1 < argc) out_path = argv[++i];
    }
    if (out_path.empty() || expect < 1) {
        std::fprintf(stderr, "usage: quillon_window_bench --expect N [--seconds S] --out FILE\n");
        return 2;
    }

    QApplication qapp(argc, argv);
    quillon::CQuillonApp app;
    QElapsedTimer clock;
    clock.start();
    if (app.init_instance() != 0) {
        std::fprintf(stderr, "quillon_window_bench: the window could not be set up\n");
        return 1;
    }
    const qint64 searched = clock.nsecsElapsed();  // init_instance ends with the first search
    quillon::WindowPort& port = app.dlg().port();

    constexpr int kTickMs = 10;
    std::vector<double> late_ms;
    qint64 last = clock.nsecsElapsed();
    double all_listed_ms = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kTickMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late_ms.push_back(std::max(0.0, double(now - last) / 1e6 - kTickMs));
        last = now;
        if (all_listed_ms < 0 && port.row_count() >= expect) all_listed_ms = double(now - searched) / 1e6;
    });
    probe.start();
    QTimer::singleShot(int(seconds * 1000), &qapp, [&] { QApplication::quit(); });
    QApplication::exec();
    probe.stop();

    const int rows = port.row_count();
    std::set<std::string> ips;
    for (int r = 0; r < rows; ++r) ips.insert(port.get_cell(r, 1));
    std::sort(late_ms.begin(), late_ms.end());
    const double max_late = late_ms.empty() ? 0 : late_ms.back();
    const double p99 = late_ms.empty() ? 0 : late_ms[std::size_t(0.99 * double(late_ms.size() - 1))];

    std::FILE* out = std::fopen(out_path.c_str(), "w");
    if (!out) {
        std::perror(out_path.c_str());
        return 1;
    }
    // Never all listed: null, which no target accepts.
    const std::string listed_at = all_listed_ms < 0 ? "null" : std::to_string(all_listed_ms);
    std::fprintf(out, "{\"rows\":%d,\"distinct\":%zu,\"all_listed_ms\":%s,\"loop_delay_max_ms\":%.1f,"
                      "\"loop_delay_p99_ms\":%.1f,\"ticks\":%zu}\n",
                 rows, ips.size(), listed_at.c_str(), max_late, p99, late_ms.size());
    std::fclose(out);
    // As the program itself ends: the batch driver waits for the next batch for as long as the
    // process lives.
    std::fflush(nullptr);
    std::_Exit(0);
}

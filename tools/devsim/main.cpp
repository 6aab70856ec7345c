// SPDX-License-Identifier: Apache-2.0
// quillon-devsim: a fleet of simulated intercom devices in one process.
#include <signal.h>
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>

#include "fleet.h"
#include "quillon_version.h"
#include "simulator.h"

using namespace quillon::devsim;

namespace {

const char* kDescription =
    "quillon-devsim: simulated intercom devices for the lab, the tests and the benchmarks.\n"
    "Answers discovery searches on UDP (one answer per device, from the device's own address) and\n"
    "runs the upgrade service on TCP for every device address. Run it where the addresses exist\n"
    "(the lab's device namespace, or 127.0.0.x for tests). Ends cleanly on SIGTERM or SIGINT.\n\n"
    "Fleet file: one line per device, '#' starts a comment:\n"
    "  ADDRESS[+COUNT] [id=TEXT] [mac=TEXT] [version=TEXT] [next_version=TEXT] [faults=LIST]\n"
    "Faults (comma separated): refuse, drop=BYTES, fail, hang[=BYTES], split, junk, conflict,\n"
    "fail-first=N, no-return, burn-ms=MS, old-version, reboot-ms=MS; first=N limits refuse, drop, fail, hang, split and\n"
    "junk to the device's first N connections.";

void raise_file_limit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

bool write_ready_file(const std::string& path, std::size_t devices) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return false;
        out << "ready " << devices << "\n";
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{kDescription, "quillon-devsim"};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("quillon-devsim ") + quillon::kVersion);

    FleetConfig fc;
    SimOptions so;
    std::string first_text, bind_text = "0.0.0.0", down_mode = "refuse", ready_file;
    app.add_option("--first", first_text, "address of the first device (e.g. 198.18.0.10)");
    app.add_option(
           "--count", fc.count,
           "number of devices numbered upwards from --first (last octets 0 and 255 skipped)")
        ->check(CLI::Range(0, 60000));
    app.add_option("--fleet", fc.fleet_file,
                   "fleet file (devices added to or changed from --first/--count)")
        ->check(CLI::ExistingFile);
    app.add_option("--device-version", fc.version, "firmware version the devices report")
        ->capture_default_str();
    app.add_option("--next-version", fc.next_version,
                   "version after a reboot that followed a good image (default: VERSION-new)");
    app.add_option("--fault", fc.fault_options, "ADDRESS:LIST, faults of one device (repeatable)");
    app.add_option("--burn-ms", so.burn_ms, "time one image takes to burn")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    app.add_option("--reboot-ms", so.reboot_ms, "time a device is away after a reboot record")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    app.add_option("--down-mode", down_mode,
                   "an away device refuses connections or lets them time out")
        ->capture_default_str()
        ->check(CLI::IsMember({"refuse", "silent"}));
    app.add_option("--answer-spread-ms", so.answer_spread_ms,
                   "spread the answers to one broadcast search over this time")
        ->capture_default_str()
        ->check(CLI::Range(0, 600000));
    app.add_option("--idle-timeout-ms", so.idle_timeout_ms,
                   "a device ends a connection idle this long")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400000));
    app.add_option("--split-pause-ms", so.split_pause_ms,
                   "pause between the bytes of a split record")
        ->capture_default_str()
        ->check(CLI::Range(0, 10000));
    app.add_option("--max-image-bytes", so.max_image_bytes,
                   "a header length above this is refused with F 0")
        ->capture_default_str();
    app.add_option("--discovery-port", so.discovery_port, "UDP port of the discovery exchange")
        ->capture_default_str();
    app.add_option("--upgrade-port", so.upgrade_port, "TCP port of the upgrade service")
        ->capture_default_str();
    app.add_option("--bind", bind_text, "address the discovery socket binds")
        ->capture_default_str();
    app.add_option("--record", so.record_path,
                   "write what every device received to FILE (JSON lines)");
    app.add_option("--ready-file", ready_file, "create FILE once every socket is bound");
    app.add_flag("-v,--verbose", so.verbose, "a line on standard error per connection");
    CLI11_PARSE(app, argc, argv);

    if (!first_text.empty()) {
        fc.first = parse_ipv4(first_text);
        if (!fc.first) {
            std::fprintf(stderr, "quillon-devsim: --first '%s' is not an IPv4 address\n",
                         first_text.c_str());
            return 2;
        }
    }
    auto bind = parse_ipv4(bind_text);
    if (!bind) {
        std::fprintf(stderr, "quillon-devsim: --bind '%s' is not an IPv4 address\n",
                     bind_text.c_str());
        return 2;
    }
    so.discovery_bind = *bind;
    so.down_mode = down_mode == "silent" ? DownMode::silent : DownMode::refuse;

    Fleet fleet;
    if (std::string err = fleet.build(fc); !err.empty()) {
        std::fprintf(stderr, "quillon-devsim: %s\n", err.c_str());
        return 2;
    }

    // Signals are taken by sigwait below, never by a worker thread.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    raise_file_limit();

    Simulator sim(std::move(fleet), so);
    if (std::string err = sim.start(); !err.empty()) {
        std::fprintf(stderr, "quillon-devsim: %s\n", err.c_str());
        return 1;
    }
    const auto& devs = sim.fleet().devices();
    std::fprintf(
        stderr,
        "quillon-devsim: ready, %zu devices (%s .. %s), discovery port %u, upgrade port %u\n",
        devs.size(), devs.front().ip.c_str(), devs.back().ip.c_str(), so.discovery_port,
        so.upgrade_port);
    if (!ready_file.empty() && !write_ready_file(ready_file, devs.size())) {
        std::fprintf(stderr, "quillon-devsim: cannot write ready file '%s'\n", ready_file.c_str());
        return 1;
    }

    int sig = 0;
    sigwait(&stop_signals, &sig);
    sim.stop();
    std::fprintf(
        stderr,
        "quillon-devsim: stopped (%s); %llu searches, %llu answers, %llu connections, %llu images written\n",
        sig == SIGINT ? "SIGINT" : "SIGTERM",
        static_cast<unsigned long long>(sim.discovery().searches()),
        static_cast<unsigned long long>(sim.discovery().answers()),
        static_cast<unsigned long long>(sim.upgrade().connections()),
        static_cast<unsigned long long>(sim.upgrade().successes()));
    return 0;
}

// SPDX-License-Identifier: Apache-2.0
// quillon-bench: the helpers of bench/run.
//
//   quillon-bench image OUT --size BYTES [--seed N]      an image file with a valid trailer
//   quillon-bench floor --workers W --image BYTES... --rate BITS [--devices N | --answers MAP]
//       the least wall time of one pass (seconds): the protocol's waits, the dealing of devices to
//       workers and the shared link. MAP: one character per range address, 1 answers, 0 silent.
//   quillon-bench run [--figures FILE] [--irq-time] -- CMD ARGS...
//       CMD's wall, CPU and peak resident size; with --irq-time also the interrupt work done
//       while CMD's tasks were on a CPU (irq_time.h)
//   quillon-bench push --device IP --image FILE [--runs N] [--port P]
//       the same image pushed by the engine's exchange and by a plain TCP client, alternately
//
// Every subcommand prints one JSON object on standard output.
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "floor_model.h"
#include "image_file.h"
#include "irq_time.h"
#include "log/debug_line.h"
#include "measured_run.h"
#include "platform/timing.h"
#include "push.h"

using namespace quillon::bench;
using quillon::Timing;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string json_list(const std::vector<double>& v) {
    std::string s = "[";
    char b[32];
    for (std::size_t i = 0; i < v.size(); ++i) {
        std::snprintf(b, sizeof b, "%s%.4f", i ? "," : "", v[i]);
        s += b;
    }
    return s + "]";
}

// CPU time of the whole process so far (every thread, user and system).
double process_cpu_s() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Time the host kept this machine's CPUs from running (all CPUs, from /proc/stat), seconds.
double machine_steal_s() {
    std::FILE* f = std::fopen("/proc/stat", "r");
    if (!f) return 0;
    unsigned long long v[8] = {};
    const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2],
                              &v[3], &v[4], &v[5], &v[6], &v[7]);
    std::fclose(f);
    return n == 8 ? double(v[7]) / double(::sysconf(_SC_CLK_TCK)) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quillon-bench: helpers of the benchmark harness"};
    app.require_subcommand(1);

    std::string out_path;
    uint64_t size = 0;
    uint32_t seed = 1;
    auto* image = app.add_subcommand("image", "write an image file");
    image->add_option("OUT", out_path)->required();
    image->add_option("--size", size, "data bytes")
        ->required()
        ->check(CLI::Range(uint64_t(1), uint64_t(UINT32_MAX)));
    image->add_option("--seed", seed);

    int workers = 1, devices = 0, mtu = 1500;
    std::vector<uint64_t> images;
    double rate_bits = 0;
    std::string answers;
    auto* floor = app.add_subcommand("floor", "least wall time of one pass");
    floor->add_option("--workers", workers)->check(CLI::Range(1, 10));
    floor->add_option("--image", images, "data bytes of each image")->required();
    floor->add_option("--rate", rate_bits, "link rate, bits per second")->required();
    floor->add_option("--mtu", mtu);
    auto* dev_opt = floor->add_option("--devices", devices, "list mode: devices");
    floor->add_option("--answers", answers, "range mode: 1/0 per address")->excludes(dev_opt);
    bool with_search = false;
    floor->add_flag("--search", with_search, "the batch begins with a search window");

    std::vector<std::string> command;
    auto* run = app.add_subcommand("run", "run and measure a program");
    std::string figures_path;
    run->add_option("--figures", figures_path, "write the figures here instead of standard output");
    bool irq_time = false;
    run->add_flag("--irq-time", irq_time,
                  "also trace the interrupt work done on CMD's CPU time (root)");
    run->add_option("CMD", command)->required();

    PushTarget target;
    int runs = 3;
    auto* push = app.add_subcommand("push", "engine exchange vs plain TCP push");
    push->add_option("--device", target.ip)->required();
    push->add_option("--image", target.image)->required();
    push->add_option("--port", target.port);
    push->add_option("--runs", runs)->check(CLI::Range(1, 50));

    CLI11_PARSE(app, argc, argv);

    if (image->parsed()) {
        if (!write_image_file(out_path, size, seed)) {
            std::perror(out_path.c_str());
            return 1;
        }
        std::printf("{\"image\":\"%s\",\"bytes\":%llu}\n", out_path.c_str(),
                    (unsigned long long)size);
        return 0;
    }
    if (floor->parsed()) {
        BatchShape shape;
        shape.workers = workers;
        shape.mtu = mtu;
        shape.image_bytes = images;
        shape.devices = devices;
        if (!answers.empty()) {
            shape.range_mode = true;
            for (char c : answers) shape.answers.push_back(c == '1');
        }
        const double wire_rate = rate_bits / 8;
        const std::vector<StepList> steps = batch_steps(shape);
        const double pass = least_pass_time(steps, wire_rate);
        double wire = 0;  // the link's busy time: every byte of every worker, one after the other
        for (const auto& list : steps)
            for (const auto& st : list) wire += st.wire_bytes / wire_rate;
        const Timing& t = quillon::timing();
        // After the pass the driver settles before it ends the batch; a list from a search
        // waits for the whole search window first.
        const double settle = std::chrono::duration<double>(t.pass_settle).count();
        const double search = with_search ? std::chrono::duration<double>(t.search_window).count()
                                          : 0;
        std::printf(
            "{\"floor_s\":%.4f,\"pass_s\":%.4f,\"settle_s\":%.4f,\"search_s\":%.4f,"
            "\"wire_s\":%.4f}\n",
            search + pass + settle, pass, settle, search, wire);
        return 0;
    }
    if (run->parsed()) {
        RunFigures f;
        IrqTrace trace;
        std::string why;
        bool traced = irq_time && trace.open(why);
        const double steal0 = machine_steal_s();
        const bool started = run_measured(command, f, [&](pid_t pid) {
            if (traced) traced = trace.follow(pid, why);
        });
        const IrqTotals irq = trace.finish();
        const double steal = machine_steal_s() - steal0;
        if (!started) {
            std::fprintf(stderr, "quillon-bench run: cannot start %s\n", command[0].c_str());
            return 1;
        }
        if (irq_time && !traced)
            std::fprintf(stderr, "quillon-bench run: no interrupt times: %s\n", why.c_str());
        std::FILE* to = figures_path.empty() ? stdout : std::fopen(figures_path.c_str(), "w");
        if (!to) {
            std::perror(figures_path.c_str());
            return 1;
        }
        std::string irq_json = "null";
        if (traced) {
            char b[96];
            std::snprintf(b, sizeof b,
                          "{\"irq_s\":%.4f,\"events\":%ld,\"lost\":%ld,\"softirq_s\":{", irq.irq_s,
                          irq.events, irq.lost);
            irq_json = b;
            const char* sep = "";
            for (const auto& [name, s] : irq.softirq_s) {
                std::snprintf(b, sizeof b, "%s\"%s\":%.4f", sep, name.c_str(), s);
                irq_json += b;
                sep = ",";
            }
            irq_json += "}}";
        }
        std::fprintf(
            to,
            "{\"exit\":%d,\"wall_s\":%.4f,\"user_s\":%.4f,\"sys_s\":%.4f,\"max_rss_kib\":%ld,"
            "\"interrupts\":%s,\"machine_steal_s\":%.2f}\n",
            f.exit_code, f.wall_s, f.user_s, f.sys_s, f.max_rss_kib, irq_json.c_str(), steal);
        return to == stdout ? 0 : (std::fclose(to) == 0 ? 0 : 1);
    }

    // push: the figures go to standard output, the engine's debug lines nowhere.
    quillon::QuietDebugLines quiet;
    std::FILE* result = stdout;
    std::vector<double> ours, ref, ours_cpu, ref_cpu;
    for (int i = 0; i < runs; ++i) {
        // Alternating, starting with a different one each round, so that a slow spell of the
        // machine hits both alike.
        for (int k = 0; k < 2; ++k) {
            const bool engine_first = i % 2 == 0;
            const bool engine = (k == 0) == engine_first;
            std::string why;
            const double cpu0 = process_cpu_s();
            const double s = engine ? push_engine(target, why) : push_reference(target, why);
            (engine ? ours_cpu : ref_cpu).push_back(process_cpu_s() - cpu0);
            if (s < 0) {
                std::fprintf(stderr, "quillon-bench push (%s): %s\n",
                             engine ? "engine" : "reference", why.c_str());
                return 1;
            }
            (engine ? ours : ref).push_back(s);
        }
    }
    const double mo = median(ours), mr = median(ref);
    std::fprintf(result,
                 "{\"engine_s\":%s,\"reference_s\":%s,\"engine_median_s\":%.4f,"
                 "\"reference_median_s\":%.4f,\"ratio\":%.4f,\"engine_cpu_median_s\":%.4f,"
                 "\"reference_cpu_median_s\":%.4f}\n",
                 json_list(ours).c_str(), json_list(ref).c_str(), mo, mr, mr > 0 ? mo / mr : 0,
                 median(ours_cpu), median(ref_cpu));
    return std::fflush(result) == 0 ? 0 : 1;
}

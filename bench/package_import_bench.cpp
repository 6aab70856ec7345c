// SPDX-License-Identifier: Apache-2.0
// Package import benchmark: builds a firmware package of realistic, partly compressible images
// (1 GiB unpacked by default) with minizip's zip API, imports it as the window does in a fresh
// process, and unpacks the same file with Debian's unzip in the same run. Prints one JSON line:
// times, peak resident memory of both, and the speed ratio (unzip time / import time).
// Targets: import peak RSS < 64 MiB, speed >= 80 % of unzip.
//
//   package_import_bench [--size-mib N] [--dir FOLDER] [--runs R] [--keep]
//   package_import_bench --import-only PACKAGE REPORT   (the child that is measured)
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "images/folder_ops.h"
#include "images/package_import.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class StderrSink : public quillon::MessageSink {
public:
    void message(const std::string& text) override {
        std::fprintf(stderr, "import: %s\n", text.c_str());
    }
    void debug(const std::string& text) override {
        std::fprintf(stderr, "import: %s\n", text.c_str());
    }
};

// The peak resident set of this process's own memory since exec (VmHWM). ru_maxrss of a spawned
// child also counts the spawning process's resident set at the time of the spawn.
double own_peak_rss_mib() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::atof(line + 6);
    std::fclose(f);
    return kib / 1024.0;
}

// The measured child: the import exactly as the window runs it. Writes its own peak to `report`.
int import_only(const std::string& package, const std::string& report) {
    quillon::SlotPaths slots;
    quillon::RebootFlags flags{};
    std::string unzip_dir;
    StderrSink sink;
    quillon::delete_previous_import(package);
    if (quillon::import_package_files(package, unzip_dir, slots, flags, sink) !=
        quillon::ImportStatus::imported)
        return 2;
    for (const std::string& s : slots)
        if (s.empty()) return 3;
    if (std::FILE* f = std::fopen(report.c_str(), "w")) {
        std::fprintf(f, "%.3f\n", own_peak_rss_mib());
        std::fclose(f);
    }
    return 0;
}

// Fast generator of firmware-like data: 4 KiB blocks that are random (already compressed
// payload), text-like (strings, scripts, tables), zero padding, or repetitive machine code.
class ImageData {
public:
    explicit ImageData(uint64_t seed) : s_(seed | 1) {}
    void fill(std::vector<unsigned char>& buf) {
        static const char* const words[] = {"init",          "mount",  "/dev/mtd", "root",
                                            "console=ttyS0", "0x8000", "brelk",    "panel",
                                            "door",          "udhcpc", "eth0",     "echo",
                                            "return",        "error",  "sip",      "rtsp://",
                                            "audio"};
        for (std::size_t off = 0; off < buf.size(); off += 4096) {
            unsigned char* b = buf.data() + off;
            std::size_t n = std::min<std::size_t>(4096, buf.size() - off);
            uint64_t kind = next() % 100;
            if (kind < 35) {
                for (std::size_t i = 0; i + 8 <= n; i += 8) {
                    uint64_t r = next();
                    std::memcpy(b + i, &r, 8);
                }
            } else if (kind < 75) {
                std::size_t i = 0;
                while (i < n) {
                    const char* w = words[next() % (sizeof words / sizeof *words)];
                    for (const char* c = w; *c && i < n; ++c)
                        b[i++] = static_cast<unsigned char>(*c);
                    if (i < n) b[i++] = (next() % 8 == 0) ? '\n' : ' ';
                }
            } else if (kind < 90) {
                std::memset(b, 0, n);
            } else {
                uint32_t base = 0xe59f0000u | static_cast<uint32_t>(next() & 0xfff);
                for (std::size_t i = 0; i + 4 <= n; i += 4) {
                    uint32_t insn = base + static_cast<uint32_t>((next() % 4) << 12);
                    std::memcpy(b + i, &insn, 4);
                }
            }
        }
    }

private:
    uint64_t next() {  // xorshift64*
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1DULL;
    }
    uint64_t s_;
};

bool create_package(const std::string& path, uint64_t total_bytes) {
    const uint64_t mib = 1024 * 1024;
    struct Image {
        const char* name;
        uint64_t size;
    };
    uint64_t app = std::min<uint64_t>(total_bytes / 8, 128 * mib);
    uint64_t kernel = std::min<uint64_t>(total_bytes / 16, 8 * mib);
    uint64_t boot = std::min<uint64_t>(total_bytes / 64, 1 * mib);
    std::vector<Image> images = {{"brelk_upgrade_image/1_uboot.img", boot},
                                 {"brelk_upgrade_image/2_kernel.img", kernel},
                                 {"brelk_upgrade_image/3_rootfs.img",
                                  total_bytes - boot - kernel - app},
                                 {"brelk_upgrade_image/4_app.img", app}};
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf) return false;
    std::vector<unsigned char> buf(mib);
    ImageData gen(0x5eed);
    bool ok = true;
    for (const Image& im : images) {
        zip_fileinfo zi{};
        ok = ok &&
             zipOpenNewFileInZip64(zf, im.name, &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   Z_DEFAULT_COMPRESSION, im.size >= 0xffffffffULL) == ZIP_OK;
        for (uint64_t done = 0; ok && done < im.size; done += buf.size()) {
            std::size_t n = static_cast<std::size_t>(
                std::min<uint64_t>(buf.size(), im.size - done));
            gen.fill(buf);
            ok = zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) == ZIP_OK;
        }
        ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
    }
    return zipClose(zf, nullptr) == ZIP_OK && ok;
}

struct RunResult {
    bool ok = false;
    double seconds = 0;
    double peak_rss_mib = 0;
};

// Runs a program; measures its wall time and its ru_maxrss (see own_peak_rss_mib).
RunResult run_measured(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::sync();  // start both programs from the same clean state
    RunResult r;
    pid_t pid = 0;
    auto t0 = Clock::now();
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return r;
    int status = 0;
    struct rusage ru {};
    if (::wait4(pid, &status, 0, &ru) != pid) return r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peak_rss_mib = static_cast<double>(ru.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

std::string self_path() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("package_import_bench") : p.string();
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t size_mib = 1024;
    std::string dir;
    int runs = 2;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--import-only" && i + 2 < argc) return import_only(argv[i + 1], argv[i + 2]);
        if (a == "--size-mib" && i + 1 < argc)
            size_mib = std::stoull(argv[++i]);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::stoi(argv[++i]));
        else if (a == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--size-mib N] [--dir FOLDER] [--runs R] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    if (dir.empty()) {
        char tmpl[] = "/tmp/quillon-bench-XXXXXX";
        if (!::mkdtemp(tmpl)) return 1;
        dir = tmpl;
    }
    const std::string pkg_dir = dir + "/pkg";
    const std::string zip = pkg_dir + "/package.zip";
    const std::string unzip_out = dir + "/unzip_out";
    fs::create_directories(pkg_dir);

    std::fprintf(stderr, "bench: creating a %llu MiB package in %s\n",
                 static_cast<unsigned long long>(size_mib), zip.c_str());
    auto c0 = Clock::now();
    if (!create_package(zip, size_mib * 1024 * 1024)) {
        std::fprintf(stderr, "bench: cannot create the package\n");
        return 1;
    }
    double create_s = std::chrono::duration<double>(Clock::now() - c0).count();
    double package_mib = static_cast<double>(fs::file_size(zip)) / (1024.0 * 1024.0);

    const std::string self = self_path();
    const std::string report = dir + "/import_peak";
    double import_own_peak = 0;
    RunResult best_import, best_unzip;
    best_import.seconds = best_unzip.seconds = 1e30;
    bool ok = true;
    for (int r = 0; r < runs && ok; ++r) {
        quillon::delete_tree(pkg_dir + "/brelk_upgrade_image");
        RunResult im = run_measured({self, "--import-only", zip, report});
        if (std::FILE* f = std::fopen(report.c_str(), "r")) {
            double v = 0;
            if (std::fscanf(f, "%lf", &v) == 1) import_own_peak = std::max(import_own_peak, v);
            std::fclose(f);
        }
        quillon::delete_tree(pkg_dir + "/brelk_upgrade_image");
        quillon::delete_tree(unzip_out);
        RunResult uz = run_measured({"unzip", "-q", "-o", zip, "-d", unzip_out});
        quillon::delete_tree(unzip_out);
        std::fprintf(stderr,
                     "bench: run %d: import %.2f s (%.1f MiB peak), unzip %.2f s (%.1f MiB peak)\n",
                     r + 1, im.seconds, im.peak_rss_mib, uz.seconds, uz.peak_rss_mib);
        ok = im.ok && uz.ok;
        best_import.seconds = std::min(best_import.seconds, im.seconds);
        best_import.peak_rss_mib = std::max(best_import.peak_rss_mib, im.peak_rss_mib);
        best_unzip.seconds = std::min(best_unzip.seconds, uz.seconds);
        best_unzip.peak_rss_mib = std::max(best_unzip.peak_rss_mib, uz.peak_rss_mib);
    }
    if (!keep) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    if (!ok) {
        std::fprintf(stderr, "bench: a run failed (import or unzip)\n");
        return 1;
    }
    double ratio = best_unzip.seconds / best_import.seconds;
    // ru_maxrss is an upper bound of the import's peak (it includes this process's resident set
    // at the spawn); the target is checked on it.
    bool pass = best_import.peak_rss_mib < 64.0 && ratio >= 0.8;
    std::printf(
        "{\"bench\":\"package_import\",\"unpacked_mib\":%llu,\"package_mib\":%.1f,\"create_s\":%.2f,"
        "\"runs\":%d,\"import_s\":%.3f,\"unzip_s\":%.3f,\"speed_ratio\":%.3f,"
        "\"import_peak_rss_mib\":%.1f,\"import_own_vmhwm_mib\":%.1f,\"unzip_peak_rss_mib\":%.1f,"
        "\"target_peak_rss_mib\":64,\"target_speed_ratio\":0.8,\"pass\":%s}\n",
        static_cast<unsigned long long>(size_mib), package_mib, create_s, runs, best_import.seconds,
        best_unzip.seconds, ratio, best_import.peak_rss_mib, import_own_peak,
        best_unzip.peak_rss_mib, pass ? "true" : "false");
    return pass ? 0 : 1;
}

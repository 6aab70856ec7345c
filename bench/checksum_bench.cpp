// SPDX-License-Identifier: Apache-2.0
// Loading the image set against zlib's crc32 alone over the same bytes (Google Benchmark).
// load_images reads every file from the page cache into its buffer and checks its checksum; one
// plain pass of zlib's crc32 over the set is the yardstick, so the ratio crc32 time / load time
// says how close the whole load (allocation, page faults, copying out of the cache, the checksum)
// comes to it. image_checksum is the engine's own checksum alone on one thread, to show what part
// of the load it is.
//
// Usage: quillon_checksum_bench [--set-mib=N] [--dir=FOLDER] [Google Benchmark flags]
//   e.g. --benchmark_out=FILE --benchmark_out_format=json (bench/run does so)
//   N: size of the whole image set (four images), default 1024; FOLDER: where the files go
//   (default: the temporary folder); they are removed at the end.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine_internals.h"
#include "engine/wire_format.h"
#include "log/debug_line.h"
#include "tool/image_file.h"

using namespace quillon;

namespace {

std::vector<std::string> g_files;
uint64_t g_set_bytes = 0;

void warm_cache(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    static char buf[1 << 20];
    while (std::fread(buf, 1, sizeof buf, f) == sizeof buf) {}
    std::fclose(f);
}

void BM_load_images(benchmark::State& state) {
    EngineInternals engine;
    for (std::size_t i = 0; i < g_files.size(); ++i) engine.m_url[i] = g_files[i];
    for (auto _ : state) {
        if (!engine.load_images()) {
            state.SkipWithError("load_images failed");
            break;
        }
        benchmark::DoNotOptimize(engine.m_img_len[0]);
        // The driver releases the set at the end of the batch: not part of the load.
        state.PauseTiming();
        engine.release_images();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_set_bytes));
}

// One pass of `sum` over every loaded image per iteration.
template <typename Sum>
void checksum_alone(benchmark::State& state, Sum sum) {
    EngineInternals engine;
    for (std::size_t i = 0; i < g_files.size(); ++i) engine.m_url[i] = g_files[i];
    if (!engine.load_images()) {
        state.SkipWithError("load_images failed");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < kSlots; ++i) {
            if (engine.m_img_len[i] == 0) continue;
            benchmark::DoNotOptimize(sum(engine.m_img_data[i].get(), engine.m_img_len[i]));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_set_bytes));
}

void BM_crc32(benchmark::State& state) {
    checksum_alone(state, [](const uint8_t* p, uint32_t n) { return crc32_z(0, p, n); });
}

void BM_image_checksum(benchmark::State& state) {
    checksum_alone(state, [](const uint8_t* p, uint32_t n) { return image_checksum(p, n, 0, 0); });
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t set_mib = 1024;
    std::string dir = std::filesystem::temp_directory_path().string();
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--set-mib=", 10) == 0)
            set_mib = std::strtoull(argv[i] + 10, nullptr, 10);
        else if (std::strncmp(argv[i], "--dir=", 6) == 0)
            dir = argv[i] + 6;
        else
            rest.push_back(argv[i]);
    }
    if (set_mib < 1) set_mib = 1;
    const std::string folder = dir + "/quillon-checksum-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const uint64_t each = set_mib * 1024 * 1024 / kSlots - kImageHeaderSize;
    for (int i = 0; i < kSlots; ++i) {
        const std::string f = folder + "/slot" + std::to_string(i) + ".img";
        if (!bench::write_image_file(f, each, uint32_t(i + 1))) {
            std::perror(f.c_str());
            std::filesystem::remove_all(folder);
            return 1;
        }
        warm_cache(f);
        g_files.push_back(f);
    }
    g_set_bytes = each * kSlots;
    // The engine's debug lines are not what is measured, and would stand between the results.
    QuietDebugLines quiet;

    benchmark::RegisterBenchmark("load_images", BM_load_images)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("crc32", BM_crc32)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("image_checksum", BM_image_checksum)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}

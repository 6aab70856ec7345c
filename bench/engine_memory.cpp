// SPDX-License-Identifier: Apache-2.0
// Memory of a batch: four workers upgrade a whole image set (200 MiB by default) to four sink
// devices on 127.0.0.1 at once. The images are held once in memory and shared; the peak resident
// size should stay below the image set plus 50 MiB.
//
// Usage: quillon_bench_engine_memory [total MiB] [workers] [folder for the image files]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_internals.h"
#include "contract/window_port.h"
#include "engine/wire_format.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "platform/timing.h"
#include "platform/unique_fd.h"

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

// A window that shows nothing.
class NullWindow : public WindowPort {
public:
    int row_count() override { return 4; }
    std::string device_text(int, DeviceField) override { return {}; }
    void set_check(int, bool) override {}
    bool get_check(int) override { return true; }
    int count_checked() override { return 0; }
    int deal_rows(int) override { return 4; }
    int next_row_of(int, int) override { return -1; }
    void device_begun(int, std::time_t) override {}
    void device_state(int, DeviceState) override {}
    void device_image(int, const ImageProgress&) override {}
    void device_ended(int, bool, std::chrono::seconds) override {}
    void device_came_back(int, const std::string&) override {}
    int insert_found_device(const FoundDevice&) override { return -1; }
    int insert_found_devices(const std::vector<FoundDevice>&) override { return 0; }
    int add_range_row(const std::string&) override { return -1; }
    void update_row_by_ip(const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&) override {}
    void set_record_tick(RecordTable, const std::string&, const std::string&, bool) override {}
    bool admits_type(const std::string&) override { return true; }
    std::string lookup_range_mac(const std::string&) override { return {}; }
    void show_worker(int, const WorkerView&) override {}
    void show_followed_status(const std::vector<std::string>&) override {}
    void show_awaited(int) override {}
    void show_count(int, int) override {}
    void set_batch_bar(int) override {}
    int get_batch_bar() override { return 0; }
    bool range_box_checked() override { return false; }
    bool is_stop_enabled() override { return true; }
    void show_message(BatchMessage) override {}
    void enter_idle() override {}
    WindowFlags& flags() override { return flags_; }
    LogFile& user_report() override { return report_; }
    void show_user_report() override {}

private:
    WindowFlags flags_;
    LogFile report_;
};

long status_kib(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

double mib(double bytes) { return bytes / (1024.0 * 1024.0); }

// Writes an image file of `size` data bytes, a chunk at a time so the writer stays small.
void write_image(const std::string& path, std::size_t size, uint32_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> chunk(1 << 20);
    unsigned long z = 0xFFFFFFFFul;
    uint32_t x = seed;
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(chunk.size(), size - done);
        for (std::size_t i = 0; i < n; ++i) {
            x = x * 1664525u + 1013904223u;
            chunk[i] = uint8_t(x >> 24);
        }
        z = crc32_z(z, chunk.data(), n);
        out.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(n));
        done += n;
    }
    ImageHeader h;
    h.set_length(uint32_t(size));
    h.set_crc(~uint32_t(z));
    out.write(reinterpret_cast<const char*>(h.bytes), kImageHeaderSize);
}

bool read_n(int fd, uint8_t* buf, std::size_t bufsize, std::size_t n, std::size_t* got_total,
            std::size_t report_every, int* next_pct) {
    while (n > 0) {
        const ssize_t k = ::recv(fd, buf, std::min(n, bufsize), 0);
        if (k <= 0) return false;
        n -= std::size_t(k);
        *got_total += std::size_t(k);
        if (report_every && *got_total >= std::size_t(*next_pct) * report_every) {
            uint8_t rec[kCmdRecordSize];
            CmdRecord{kCmdSending, uint32_t(*next_pct * 10)}.encode(rec);
            (void)::send(fd, rec, sizeof rec, MSG_NOSIGNAL);
            ++*next_pct;
        }
    }
    return true;
}

// One device connection: header, data (with S records every 10 %), B records, F 1.
void sink(int fd, std::atomic<uint64_t>* received) {
    uint8_t head[kImageHeaderSize];
    std::size_t got = 0;
    int next = 1;
    if (!read_n(fd, head, sizeof head, sizeof head, &got, 0, &next)) return;
    const uint32_t length = load_le32(head + ImageHeader::kLengthOffset);
    std::vector<uint8_t> buf(64 * 1024);
    got = 0;
    if (!read_n(fd, buf.data(), buf.size(), length, &got, length / 10, &next)) return;
    *received += got;
    uint8_t rec[kCmdRecordSize];
    for (uint32_t p = 0; p <= 100; p += 25) {
        CmdRecord{kCmdBurning, p}.encode(rec);
        (void)::send(fd, rec, sizeof rec, MSG_NOSIGNAL);
    }
    CmdRecord{kCmdFinish, 1}.encode(rec);
    (void)::send(fd, rec, sizeof rec, MSG_NOSIGNAL);
    ::recv(fd, buf.data(), buf.size(), 0);  // until the tool closes
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t total_mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const int workers = argc > 2 ? std::atoi(argv[2]) : 4;
    const std::string folder =
        argc > 3 ? argv[3] : std::filesystem::temp_directory_path() / "quillon_bench_engine_memory";
    if (workers < 1 || workers > kWorkers || total_mib < 4) {
        std::fprintf(stderr, "usage: %s [total MiB >= 4] [workers 1-10] [folder]\n", argv[0]);
        return 2;
    }
    std::filesystem::create_directories(folder);

    // The engine's debug lines are not what is measured.
    QuietDebugLines quiet;

    const std::size_t slot_size = total_mib * 1024 * 1024 / kSlots - kImageHeaderSize;
    NullWindow window;
    EngineInternals engine;
    engine.m_dlg = &window;
    for (int i = 0; i < kSlots; ++i) {
        engine.m_url[i] = folder + "/slot" + std::to_string(i) + ".img";
        write_image(engine.m_url[i], slot_size, uint32_t(i + 1));
    }
    Timing& t = timing();
    t.conflict_wait_step = std::chrono::milliseconds(0);  // no discovery here: nothing to wait for

    const long rss_before = status_kib("VmRSS:");
    auto t0 = Clock::now();
    if (!engine.load_images()) {
        std::fprintf(stderr, "load_images failed\n");
        return 1;
    }
    const double load_s = std::chrono::duration<double>(Clock::now() - t0).count();
    const long rss_loaded = status_kib("VmRSS:");
    const double image_bytes = double(slot_size) * kSlots;

    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t alen = sizeof a;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&a), &alen);
    ::listen(listener.get(), 16);
    engine.m_port = ntohs(a.sin_port);

    std::atomic<uint64_t> received{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> sinks;
    std::vector<UniqueFd> conns;
    std::thread acceptor([&] {
        while (!stop) {
            pollfd p{listener.get(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            UniqueFd c(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!c.valid()) continue;
            const int fd = c.get();
            conns.push_back(std::move(c));
            sinks.emplace_back(sink, fd, &received);
        }
    });

    std::atomic<int> ok{0}, failed{0};
    t0 = Clock::now();
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w) {
        pool.emplace_back([&, w] {
            engine.set_cur_device(w, "127.0.0.1", "");
            for (int slot = 0; slot < kSlots; ++slot) {
                engine.m_need_reboot[w] = slot == kSlots - 1;
                (engine.process_one("127.0.0.1", slot, w, w, slot) == 1 ? ok : failed)++;
            }
        });
    }
    for (auto& th : pool) th.join();
    const double send_s = std::chrono::duration<double>(Clock::now() - t0).count();
    stop = true;
    acceptor.join();
    for (auto& th : sinks) th.join();
    engine.release_images();

    const long hwm = status_kib("VmHWM:");
    const double over = hwm / 1024.0 - mib(image_bytes);
    std::fprintf(stderr,
                 "image set          %8.1f MiB in %d slots\n"
                 "workers            %8d  (each sends the whole set)\n"
                 "images             %8d ok, %d failed\n"
                 "RSS before load    %8.1f MiB\n"
                 "RSS after load     %8.1f MiB  (load and checksum %.2f s, %.0f MiB/s)\n"
                 "peak RSS (VmHWM)   %8.1f MiB\n"
                 "peak over images   %8.1f MiB  (target: under 50 MiB)\n"
                 "sent to devices    %8.1f MiB in %.2f s (%.0f MiB/s over loopback)\n",
                 mib(image_bytes), kSlots, workers, ok.load(), failed.load(), rss_before / 1024.0,
                 rss_loaded / 1024.0, load_s, mib(image_bytes) / load_s, hwm / 1024.0, over,
                 mib(double(received)), send_s, mib(double(received)) / send_s);
    std::filesystem::remove_all(folder);
    const bool pass = failed == 0 && ok == workers * kSlots && over < 50.0;
    std::fprintf(stderr, "%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}

// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: the byte stream a device sends during one image, cut into pieces at
// arbitrary points, read by the engine's recv_cmd through a socket pair (no network).
//
// Input: one byte of settings, then pieces, each a length byte L and L bytes of the stream
// (L = 0: the rest of the input in one piece).
//   settings bits 0-1: images of the device - 1; bits 2-3: images already done (modulo that);
//   bits 4-5: slot; bit 6: reboot after this image; bit 7: this worker is the selected one.
//
// The engine's results are compared with a plain reading of the stream in 136-byte records:
// the first finish record ends the image (1 for a nonzero value, -1 for zero) and nothing after
// it is acted on; every other record before it is; a percentage cell shows the last progress or
// finish record; the reboot record goes out exactly for a successful finish with the reboot
// flag; and when the device closes without a finish the image fails.
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_internals.h"
#include "contract/window_port.h"
#include "engine/wire_format.h"
#include "fuzz_support.h"
#include "log/log_file.h"
#include "platform/unique_fd.h"
#include "texts/ui_texts.h"

namespace {

using quillon::fuzz::check;
constexpr int kW = 3;
constexpr int kRow = 7;

constexpr const char* kSlotLetters[] = {"B", "K", "S", "A"};

// The percentage cell as the device table words it (window/device_words): the fuzz target
// checks the engine's figures, not the wording, so it needs no window.
std::string percent_text(int slot, const char* phase, int dev) {
    return std::string("[") + kSlotLetters[slot] + "." + phase + "]: " + std::to_string(dev) + "%";
}

// Remembers only what the oracle needs: the last percentage cell and how many rows were set.
class CellWindow : public quillon::WindowPort {
public:
    int selected = 0;
    std::string last_percent;
    int cells = 0;
    int bad_requests = 0;

    int row_count() override { return 0; }
    std::string device_text(int, quillon::DeviceField) override { return {}; }
    void set_check(int, bool) override { ++bad_requests; }
    bool get_check(int) override { return false; }
    int count_checked() override { return 0; }
    int deal_rows(int) override {
        ++bad_requests;
        return 0;
    }
    int next_row_of(int, int) override {
        ++bad_requests;
        return -1;
    }
    void device_begun(int, std::time_t) override { ++bad_requests; }
    void device_state(int row, quillon::DeviceState) override {
        if (row != kRow) ++bad_requests;
        ++cells;
    }
    void device_image(int row, const quillon::ImageProgress& p) override {
        using quillon::ImagePhase;
        if (row != kRow || p.slot < 0 || p.slot > 3 || p.simulated) ++bad_requests;
        ++cells;
        const char* phase = p.phase == ImagePhase::sending   ? "S"
                            : p.phase == ImagePhase::burning ? "B"
                                                             : "F";
        if (p.slot >= 0 && p.slot <= 3)
            last_percent = percent_text(p.slot, phase, p.device_percent);
    }
    void device_ended(int, bool, std::chrono::seconds) override { ++bad_requests; }
    void device_came_back(int, const std::string&) override { ++bad_requests; }
    int insert_found_device(const quillon::FoundDevice&) override { return -1; }
    int insert_found_devices(const std::vector<quillon::FoundDevice>&) override { return 0; }
    int add_range_row(const std::string&) override { return -1; }
    void update_row_by_ip(const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&) override {}
    void set_record_tick(quillon::RecordTable, const std::string&, const std::string&,
                         bool) override {}
    bool admits_type(const std::string&) override { return true; }
    std::string lookup_range_mac(const std::string&) override { return {}; }
    void show_worker(int w, const quillon::WorkerView& v) override {
        if (w != kW) ++bad_requests;
        if (w != selected) return;
        if (v.image_bar > 100 || v.device_bar > 100) ++bad_requests;
    }
    void show_followed_status(const std::vector<quillon::WorkerStatus>&) override {
        ++bad_requests;
    }
    void show_awaited(int) override { ++bad_requests; }
    void show_count(int, int) override { ++bad_requests; }
    void set_batch_bar(int) override { ++bad_requests; }
    int get_batch_bar() override { return 0; }
    void raise_batch_bar(int) override { ++bad_requests; }
    bool range_box_checked() override { return false; }
    bool is_stop_enabled() override { return true; }
    void show_message(quillon::BatchMessage) override { ++bad_requests; }
    void enter_idle() override { ++bad_requests; }
    quillon::WindowFlags& flags() override { return flags_; }
    quillon::LogFile& user_report() override { return report_; }
    void show_user_report() override { ++bad_requests; }

private:
    quillon::WindowFlags flags_;
    quillon::LogFile report_;  // never opened: nothing here may write to it
};

// What a plain reading of the stream expects after the first `bytes` bytes.
struct Expected {
    int result = 0;            // 0 while no finish record is complete
    std::string percent_cell;  // the last percentage cell, empty when none yet
    int img_percent = -1;      // -1: untouched
};

Expected expect(const std::vector<uint8_t>& stream, std::size_t bytes, int n, int k, int slot) {
    Expected e;
    for (std::size_t off = 0; off + quillon::kCmdRecordSize <= bytes;
         off += quillon::kCmdRecordSize) {
        const uint32_t cmd = quillon::load_le32(&stream[off]);
        const uint32_t value = quillon::load_le32(&stream[off + 4]);
        if (cmd == quillon::kCmdSending || cmd == quillon::kCmdBurning) {
            const int p = value > 100 ? 100 : int(value);
            const bool s = cmd == quillon::kCmdSending;
            const int dev = p / (2 * n) + (s ? 100 * k : 100 * k + 50) / n;
            e.percent_cell = percent_text(slot, s ? "S" : "B", dev);
            e.img_percent = p;
        } else if (cmd == quillon::kCmdFinish) {
            e.img_percent = 100;
            if (value == 0) {
                e.result = -1;
            } else {
                e.result = 1;
                e.percent_cell = percent_text(slot, "F", 100 * (k + 1) / n);
            }
            return e;
        }
    }
    return e;
}

std::size_t pending(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? std::size_t(n) : 0;
}

bool write_all(int fd, const uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= std::size_t(k);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quillon::fuzz::silence_debug_lines();
    quillon::ui_texts().fill(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const int n = 1 + (settings & 3);
    const int k = ((settings >> 2) & 3) % n;
    const int slot = (settings >> 4) & 3;
    const bool reboot = settings & 0x40;

    CellWindow window;
    window.selected = (settings & 0x80) ? kW : kW + 1;
    auto engine = std::make_unique<quillon::EngineInternals>();
    engine->m_dlg = &window;
    engine->m_img_count = n;
    engine->m_need_reboot[kW] = reboot;
    engine->set_cur_device(kW, "127.0.0.1", "");
    int sv[2];
    check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) == 0, "no socket pair");
    engine->m_sock[kW].reset(sv[0]);
    quillon::UniqueFd device(sv[1]);

    std::vector<uint8_t> stream;
    int result = 0;
    for (std::size_t at = 1; at < size && result == 0;) {
        std::size_t len = data[at++];
        if (len == 0 || len > size - at) len = size - at;
        stream.insert(stream.end(), data + at, data + at + len);
        check(write_all(device.get(), data + at, len), "the device side cannot write");
        at += len;
        // Read until the socket is empty or the image has ended, as the exchange's loop does.
        do {
            result = engine->recv_cmd(kW, slot, kRow, k);
        } while (result == 0 && pending(engine->m_sock[kW].get()) > 0);
        const Expected e = expect(stream, stream.size(), n, k, slot);
        check(result == e.result, "result differs from the records sent");
        check(window.last_percent == e.percent_cell, "percentage cell differs");
        check(e.img_percent < 0 || engine->m_img_percent[kW] == e.img_percent,
              "image percent differs");
    }
    if (result == 0) {
        device.reset();  // the device goes away without finishing the image
        check(engine->recv_cmd(kW, slot, kRow, k) == -1,
              "a closed connection did not fail the image");
    } else {
        // A reboot record, whole, exactly for a successful finish with the flag set.
        uint8_t got[2 * quillon::kCmdRecordSize] = {};
        const ssize_t r = ::recv(device.get(), got, sizeof got, MSG_DONTWAIT);
        if (result == 1 && reboot) {
            uint8_t want[quillon::kCmdRecordSize];
            quillon::CmdRecord{quillon::kCmdReboot, 0}.encode(want);
            check(r == ssize_t(quillon::kCmdRecordSize) && std::memcmp(got, want, sizeof want) == 0,
                  "reboot record missing or wrong");
        } else {
            check(r < 0, "something was sent to the device besides a due reboot record");
        }
    }
    const int dev = engine->m_dev_percent[kW];
    check(dev >= 0 && dev <= 100, "device percentage out of 0..100");
    check(window.bad_requests == 0, "a window request outside the exchange's own");
    return 0;
}

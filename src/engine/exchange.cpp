// SPDX-License-Identifier: Apache-2.0
// The upgrade exchange of one image with one device: header, data, the device's progress
// records, and the reboot request after the last image.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "platform/socket.h"
#include "platform/timing.h"

namespace quillon {
namespace {

// Every send is non-blocking (send_now) and driven by the loop's wait, so that a device that
// stops reading is caught by the inactivity limit instead of holding the worker for ever; a
// device that goes away mid-send is a failed image, not the end of the program.

}  // namespace

void UpgradeEngine::close_worker_socket(int w) {
    m_sock[w].reset();
    m_rx_len[w] = 0;
}

void UpgradeEngine::show_progress(int w, int slot, int row, int images_done, uint32_t cmd,
                                  uint32_t p, bool simulated) {
    // The value comes from the device: a percentage above 100 would push the bars and the
    // device's share past their ends.
    p = std::min<uint32_t>(p, 100);
    const int n = std::max(m_img_count, 1);
    const int k = images_done;
    const bool sending = cmd == kCmdSending;
    const ImagePhase phase = sending ? ImagePhase::sending : ImagePhase::burning;
    const WorkerStatus status{WorkerActivity::image, cur_ip(w), 0, slot, phase, int(p)};
    set_status(w, status);
    m_img_percent[w] = int(p);
    const int dev = int(p) / (2 * n) + (sending ? 100 * k : 100 * k + 50) / n;
    m_dev_percent[w] = dev;
    m_dlg->show_worker(w, WorkerView{&status, int(p), dev});
    m_dlg->device_image(row, ImageProgress{slot, phase, dev, simulated});
}

void UpgradeEngine::show_finish(int w, int slot) {
    const WorkerStatus status{WorkerActivity::image, cur_ip(w), 0, slot, ImagePhase::finished, 100};
    set_status(w, status);
    m_img_percent[w] = 100;
    m_dlg->show_worker(w, WorkerView{&status, 100, -1});
}

void UpgradeEngine::show_image_done(int w, int slot, int row, int images_done) {
    const int n = std::max(m_img_count, 1);
    const int dev = 100 * (images_done + 1) / n;
    m_dev_percent[w] = dev;
    m_dlg->show_worker(w, WorkerView{nullptr, -1, dev});
    m_dlg->device_image(row, ImageProgress{slot, ImagePhase::finished, dev, false});
}

void UpgradeEngine::send_reboot(int w) {
    if (!m_sock[w].valid()) return;
    uint8_t rec[kCmdRecordSize];
    CmdRecord{kCmdReboot, 0}.encode(rec);
    // One record into an idle connection: it fits the send buffer; the result is not needed.
    (void)send_now(m_sock[w].get(), rec, sizeof rec);
    debug_line("send reboot \n");
}

int UpgradeEngine::act_on_record(int w, int slot, int row, int images_done, const uint8_t* rec) {
    const CmdRecord r = CmdRecord::decode(rec);
    switch (r.cmd) {
        case kCmdSending:
        case kCmdBurning: show_progress(w, slot, row, images_done, r.cmd, r.value, false); return 0;
        case kCmdFinish:
            show_finish(w, slot);
            if (r.value == 0) return -1;
            if (m_need_reboot[w]) send_reboot(w);
            show_image_done(w, slot, row, images_done);
            return 1;
        default: return 0;  // codes the tool does not know are none of its business
    }
}

int UpgradeEngine::recv_cmd(int w, int slot, int row, int images_done) {
    if (!m_sock[w].valid() || slot < 0 || slot >= kSlots) return -1;
    // TCP may split a record anywhere and join several: what is left of a record waits in m_rx
    // for the rest, and every complete record is acted on in order.
    uint8_t buf[kCmdRecordSize * 32];
    const std::size_t carry = m_rx_len[w];
    std::memcpy(buf, m_rx[w], carry);
    const long got = receive_now(m_sock[w].get(), buf + carry, sizeof buf - carry);
    if (got == kWouldBlock) return 0;  // nothing after all
    if (got <= 0) {
        debug_line("recv_cmd ret <= 0 !\n");
        return -1;
    }
    m_last_activity[w] = Clock::now();
    // Devices write their records one small write at a time. A device whose stack holds a small
    // segment back until the previous one is acknowledged (Nagle) would otherwise wait for our
    // delayed acknowledgement, 40 ms or more, before its next record: after the data, every
    // image's final records came that much late. Acknowledge what came at once.
    acknowledge_quickly(m_sock[w].get());

    const std::size_t have = carry + std::size_t(got);
    std::size_t off = 0;
    for (; have - off >= kCmdRecordSize; off += kCmdRecordSize) {
        const int rc = act_on_record(w, slot, row, images_done, buf + off);
        if (rc != 0) {
            m_rx_len[w] = 0;  // the image has ended; what follows belongs to nothing
            return rc;
        }
    }
    m_rx_len[w] = have - off;
    std::memcpy(m_rx[w], buf + off, m_rx_len[w]);
    return 0;
}

int UpgradeEngine::process_one(const std::string& ip, int slot, int w, int row, int images_done) {
    if (slot < 0 || slot >= kSlots || m_img_len[slot] == 0) return -1;
    if (check_ip_conflict(ip, w)) return -1;
    if (connect_device(ip, w, images_done, row) == -1) {
        debug_line("connect %s err !\n", ip.c_str());
        return -1;
    }
    m_rx_len[w] = 0;
    m_sent[w] = 0;

    const ImageHeader& head = m_img_head[slot];
    const long hs = send_now(m_sock[w].get(), head.bytes, kImageHeaderSize);
    if (hs != long(kImageHeaderSize)) {
        // A header cut short would be read by the device as the start of something else.
        debug_line("send to %s head[%d] err !\n", ip.c_str(), slot);
        close_worker_socket(w);
        return -1;
    }

    const Timing& t = timing();

    // The load refuses a trailer whose length exceeds the data; the bound here is a second guard.
    const uint32_t length = std::min(head.length(), m_img_len[slot]);
    const uint8_t* data = m_img_data[slot].get();
    m_last_activity[w] = Clock::now();
    int result = 0;
    while (result == 0) {
        const SocketHandle fd = m_sock[w].get();
        SocketWait p{fd, true, m_sent[w] < length};
        const int ready = wait_sockets(&p, 1, t.select_wait);
        if (ready < 0) {
            debug_line("process_one select = %d errno=%d\n", ready, last_socket_error());
            m_dlg->device_state(row, DeviceState::lost);
            result = -1;
            break;
        }
        if (ready > 0) {
            if (p.readable) {
                result = recv_cmd(w, slot, row, images_done);
                if (result != 0) break;
            }
            if (m_sent[w] < length && p.writable) {
                const std::size_t chunk = std::min<std::size_t>(length - m_sent[w], kSendChunk);
                const long n = send_now(fd, data + m_sent[w], chunk);
                if (n == kWouldBlock) {
                    // the buffer filled up after all; the next poll says when to go on
                } else if (n <= 0) {
                    debug_line("send data ret %d\n", int(n));
                    result = -1;
                    break;
                } else {
                    m_sent[w] += uint32_t(n);
                    m_last_activity[w] = Clock::now();
                }
            }
        }
        // A device that neither sends nor takes anything any more is gone (or hung): without
        // this limit the worker, and with it the whole batch, would wait for ever.
        if (Clock::now() - m_last_activity[w] >= t.exchange_idle_limit) {
            debug_line("process_one idle %d ms, ip=%s\n", int(t.exchange_idle_limit.count()),
                       ip.c_str());
            m_dlg->device_state(row, DeviceState::lost);
            result = -1;
        }
    }
    close_worker_socket(w);
    debug_line("process_one ret = %d\n", result);
    return result;
}

}  // namespace quillon

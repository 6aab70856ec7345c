// SPDX-License-Identifier: Apache-2.0
// Opening the TCP connection to a device's upgrade service, with the attempt count and the wait
// per attempt of the batch's mode.
#include <cstdio>

#include "engine/text_format.h"
#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "platform/ipv4.h"
#include "platform/socket.h"
#include "platform/timing.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

// Linux does not reliably reconnect a socket whose connect failed: a fresh one per try.
Socket new_stream_socket() { return open_tcp_socket(); }

}  // namespace

int UpgradeEngine::connect_device(const std::string& ip, int w, int images_done, int row) {
    const Timing& t = timing();
    int attempts = t.connect_attempts;
    std::chrono::milliseconds wait = t.connect_wait;
    if (m_ip_scan && images_done == 0) {
        // Range mode probes many addresses that may not offer the service: one short try first.
        attempts = t.range_first_attempts;
        wait = t.range_first_wait;
    }

    debug_line("start connect ip=%s\n", ip.c_str());
    m_sock[w].reset();
    Socket fd = new_stream_socket();
    if (!fd.valid()) {
        debug_line("::socket err !\n");
        return -1;
    }

    // Only a dotted IPv4 address of a host: the wildcard and the broadcast address are no device.
    const std::optional<Ipv4> parsed = parse_ipv4(ip);
    const bool valid_ip = parsed && *parsed != kIpv4Any && *parsed != kIpv4Broadcast;
    const Ipv4 target = parsed.value_or(kIpv4Any);

    print_local_time();
    bool connected = false;
    int made = 0;
    for (int a = 0; a < attempts && valid_ip; ++a) {
        const auto started = Clock::now();
        const WorkerStatus line{WorkerActivity::connecting, cur_ip(w), a + 1};
        m_dlg->show_worker(w, WorkerView{&line});
        m_dlg->device_state(row, DeviceState::connecting);

        if (!fd.valid()) {
            fd = new_stream_socket();
            if (!fd.valid()) {
                debug_line("::socket err !\n");
                return -1;
            }
        }
        connected = connect_within(fd.get(), target, m_port, wait);
        debug_line("connect ret=%d retry=%d\n", connected ? 0 : -1, a);
        made = a + 1;
        if (connected) break;
        fd.reset();
        // A refused attempt fails at once; it still takes its whole wait, so that a device that
        // is rebooting gets the full attempts x wait to come back.
        // The clock is checked again: one sleep may end a little early (Windows' timer).
        if (a + 1 < attempts)
            while (Clock::now() < started + wait) std::this_thread::sleep_until(started + wait);
    }
    if (!valid_ip) debug_line("connect ret=%d retry=%d\n", -1, 0);

    if (connected) {
        settle_connected(fd.get());
        m_sock[w] = std::move(fd);
        const WorkerStatus line{WorkerActivity::connected, cur_ip(w), made};
        m_dlg->show_worker(w, WorkerView{&line});
        m_dlg->device_state(row, DeviceState::running);
    }
    print_local_time();
    return connected ? 0 : -1;
}

}  // namespace quillon

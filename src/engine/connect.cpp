// Opening the TCP connection to a device's upgrade service, with the attempt count and the wait
// per attempt of the batch's mode.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "engine/text_format.h"
#include "engine/upgrade_engine.h"
#include "engine/window_port.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

UniqueFd new_stream_socket() {
    return UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// One attempt on a fresh non-blocking socket: true when connected within `wait`.
bool try_connect(int fd, const sockaddr_in& target, std::chrono::milliseconds wait) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, left.count() > 0 ? int(left.count()) : 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        int err = 0;
        socklen_t len = sizeof err;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
}

void set_blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

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

    std::printf("start connect ip=%s\n", ip.c_str());
    m_sock[w].reset();
    UniqueFd fd = new_stream_socket();
    if (!fd.valid()) {
        std::printf("::socket err !\n");
        return -1;
    }

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(m_port);
    // Only a dotted IPv4 address of a host: the wildcard and the broadcast address are no device.
    const bool valid_ip = ::inet_pton(AF_INET, ip.c_str(), &target.sin_addr) == 1 &&
                          target.sin_addr.s_addr != htonl(INADDR_ANY) &&
                          target.sin_addr.s_addr != htonl(INADDR_BROADCAST);

    print_local_time();
    const std::string& connecting = T(TextId::st_connecting);
    bool connected = false;
    int made = 0;
    for (int a = 0; a < attempts && valid_ip; ++a) {
        const auto started = Clock::now();
        const std::string line = format_text("IP:%s  %s ... (%d)", cur_ip(w).c_str(),
                                             connecting.c_str(), a + 1);
        if (m_dlg->selected_worker() == w) m_dlg->set_status_line(line);
        m_dlg->set_cell(row, 6, connecting);

        if (!fd.valid()) {
            // Linux does not reliably reconnect a socket whose connect failed: a fresh one per try.
            fd = new_stream_socket();
            if (!fd.valid()) {
                std::printf("::socket err !\n");
                return -1;
            }
        }
        connected = try_connect(fd.get(), target, wait);
        std::printf("connect ret=%d retry=%d\n", connected ? 0 : -1, a);
        made = a + 1;
        if (connected) break;
        fd.reset();
        // A refused attempt fails at once; it still takes its whole wait, so that a device that
        // is rebooting gets the full attempts x wait to come back.
        if (a + 1 < attempts) std::this_thread::sleep_until(started + wait);
    }
    if (!valid_ip) std::printf("connect ret=%d retry=%d\n", -1, 0);

    if (connected) {
        set_blocking(fd.get());
        m_sock[w] = std::move(fd);
        const std::string& running = T(TextId::st_running);
        const std::string line =
            format_text("IP:%s  %s ... (%d)", cur_ip(w).c_str(), running.c_str(), made);
        if (m_dlg->selected_worker() == w) m_dlg->set_status_line(line);
        m_dlg->set_cell(row, 6, running);
    }
    print_local_time();
    return connected ? 0 : -1;
}

}  // namespace quillon

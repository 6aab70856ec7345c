// SPDX-License-Identifier: Apache-2.0
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/wire_format.h"
#include "platform/unique_fd.h"
#include "push.h"

namespace quillon::bench {

double push_reference(const PushTarget& t, std::string& why) {
    std::ifstream in(t.image, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (file.size() <= kImageHeaderSize) {
        why = "cannot read " + t.image;
        return -1;
    }
    const std::size_t n = file.size() - kImageHeaderSize;
    const uint8_t* head = file.data() + n;

    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(t.port);
    if (::inet_pton(AF_INET, t.ip.c_str(), &a.sin_addr) != 1) {
        why = "bad address " + t.ip;
        return -1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        why = "connect " + t.ip + ": " + std::strerror(errno);
        return -1;
    }
    auto send_all = [&](const uint8_t* p, std::size_t len) {
        while (len > 0) {
            const ssize_t k = ::send(fd.get(), p, len, MSG_NOSIGNAL);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return false;
            p += k;
            len -= std::size_t(k);
        }
        return true;
    };
    // The device answers while it receives; its records pile up in the receive buffer, which
    // holds them all (a few kilobytes) until the data are out.
    if (!send_all(head, kImageHeaderSize) || !send_all(file.data(), n)) {
        why = std::string("send: ") + std::strerror(errno);
        return -1;
    }
    uint8_t rec[kCmdRecordSize];
    std::size_t have = 0;
    for (;;) {
        const ssize_t k = ::recv(fd.get(), rec + have, sizeof rec - have, 0);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            why = "the device closed before F";
            return -1;
        }
        // Acknowledged at once, as the tool does: otherwise the device's last records wait for
        // our delayed acknowledgement and the reference times that wait, not the link.
        const int quick = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        have += std::size_t(k);
        if (have < sizeof rec) continue;
        have = 0;
        const CmdRecord r = CmdRecord::decode(rec);
        if (r.cmd != kCmdFinish) continue;
        if (r.value == 0) {
            why = "the device answered F 0";
            return -1;
        }
        break;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace quillon::bench

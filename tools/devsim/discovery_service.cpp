// SPDX-License-Identifier: Apache-2.0
#include "discovery_service.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <queue>
#include <vector>

#include "discovery/discovery_codec.h"

namespace quillon::devsim {

namespace {

struct Pending {
    Clock::time_point at;
    std::size_t device;
    sockaddr_in to;
    bool second_mac;  // the "conflict" fault's other device
    bool operator>(const Pending& o) const { return at > o.at; }
};

// A flood of searches must not grow the queue without bound.
constexpr std::size_t kMaxPending = 1u << 20;

}  // namespace

DiscoveryService::DiscoveryService(FleetState& state, const SimOptions& options)
    : state_(state), options_(options) {}

DiscoveryService::~DiscoveryService() { stop(); }

std::string DiscoveryService::start() {
    sock_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock_.valid()) return std::string("discovery socket: ") + std::strerror(errno);
    const int one = 1;
    // The tool may run in the same namespace (loopback tests) and bind the same port.
    ::setsockopt(sock_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::setsockopt(sock_.get(), IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0)
        return std::string("IP_PKTINFO: ") + std::strerror(errno);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(options_.discovery_port);
    sa.sin_addr = options_.discovery_bind;
    if (::bind(sock_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return "cannot bind discovery socket " + format_ipv4(options_.discovery_bind) + ":" +
               std::to_string(options_.discovery_port) + ": " + std::strerror(errno);
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_.valid()) return std::string("eventfd: ") + std::strerror(errno);
    thread_ = std::thread([this] { run(); });
    return {};
}

void DiscoveryService::stop() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

void DiscoveryService::run() {
    const Fleet& fleet = state_.fleet();
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
    std::vector<char> buf(kMaxDatagram + 1);

    for (;;) {
        // Send what is due, then wait for the next due answer or datagram.
        auto now = Clock::now();
        while (!pending.empty() && pending.top().at <= now) {
            const Pending p = pending.top();
            pending.pop();
            if (!state_.is_up(p.device, now)) continue;  // rebooting devices are silent
            const DeviceSpec& d = fleet.devices()[p.device];
            DiscoveryAnswer ans;
            ans.ip = d.ip;
            ans.id = d.id;
            ans.mac = p.second_mac ? conflict_mac_for(d.addr) : d.mac;
            ans.version = state_.version(p.device);
            const std::string doc = build_answer(ans);

            iovec iov{const_cast<char*>(doc.data()), doc.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
            msghdr msg{};
            sockaddr_in to = p.to;
            msg.msg_name = &to;
            msg.msg_namelen = sizeof to;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* cm = CMSG_FIRSTHDR(&msg);
            cm->cmsg_level = IPPROTO_IP;
            cm->cmsg_type = IP_PKTINFO;
            cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_spec_dst = d.addr;  // the answer comes from the device's own address
            std::memcpy(CMSG_DATA(cm), &info, sizeof info);
            if (::sendmsg(sock_.get(), &msg, 0) >= 0) {
                ++answers_;
            } else if (options_.verbose) {
                std::fprintf(stderr, "quillon-devsim: answer from %s: %s\n", d.ip.c_str(),
                             std::strerror(errno));
            }
            now = Clock::now();
        }

        int timeout = -1;
        if (!pending.empty()) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(pending.top().at -
                                                                              now)
                            .count();
            timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(wait + 1, 1000)));
        }
        pollfd fds[2] = {{sock_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        const int r = ::poll(fds, 2, timeout);
        if (r < 0 && errno != EINTR) {
            std::fprintf(stderr, "quillon-devsim: discovery poll: %s\n", std::strerror(errno));
            return;
        }
        if (fds[1].revents) return;
        if (r <= 0 || !(fds[0].revents & POLLIN)) continue;

        sockaddr_in from{};
        iovec iov{buf.data(), buf.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64] = {};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(sock_.get(), &msg, MSG_DONTWAIT);
        if (n <= 0 || (msg.msg_flags & MSG_TRUNC) || static_cast<std::size_t>(n) > kMaxDatagram)
            continue;
        if (!is_search_request(buf.data(), static_cast<std::size_t>(n))) continue;
        in_addr dst{};
        bool have_dst = false;
        for (cmsghdr* cm = CMSG_FIRSTHDR(&msg); cm; cm = CMSG_NXTHDR(&msg, cm)) {
            if (cm->cmsg_level == IPPROTO_IP && cm->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(cm), sizeof info);
                dst = info.ipi_addr;  // the destination written in the datagram's header
                have_dst = true;
            }
        }
        if (!have_dst) continue;
        ++searches_;

        now = Clock::now();
        auto queue_answer = [&](std::size_t i, Clock::time_point at) {
            if (pending.size() >= kMaxPending) return;
            pending.push({at, i, from, false});
            if (fleet.devices()[i].faults.conflict) pending.push({at, i, from, true});
        };
        const int target = fleet.find(dst);
        if (target >= 0) {
            queue_answer(static_cast<std::size_t>(target), now);
        } else if ((ntohl(dst.s_addr) & 0xFF) == 0xFF) {
            // 255.255.255.255 or a directed broadcast: every device answers, spread when asked to.
            const std::size_t count = fleet.size();
            for (std::size_t i = 0; i < count; ++i) {
                auto offset = std::chrono::milliseconds(
                    count > 1 ? static_cast<long long>(options_.answer_spread_ms) *
                                    static_cast<long long>(i) / static_cast<long long>(count)
                              : 0);
                queue_answer(i, now + offset);
            }
        }
        // Any other destination holds no simulated device: nobody answers.
    }
}

}  // namespace quillon::devsim

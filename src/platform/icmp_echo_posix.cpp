// SPDX-License-Identifier: Apache-2.0
#include "platform/icmp_echo.h"

#include <linux/errqueue.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/unique_fd.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxPayload = 512;
constexpr std::size_t kIcmpHeader = 8;

std::atomic<uint16_t> g_sequence{0};

// The errors that say ICMP sockets are not allowed here at all, as opposed to a momentary want
// of descriptors or memory.
bool means_not_allowed(int err) {
    return err == EPERM || err == EACCES || err == EPROTONOSUPPORT || err == ESOCKTNOSUPPORT ||
           err == EAFNOSUPPORT;
}

}  // namespace

EchoResult icmp_echo(uint32_t target, const void* payload, std::size_t len,
                     std::chrono::milliseconds wait) {
    EchoResult result;
    if (len > kMaxPayload) {
        result.error = EMSGSIZE;
        return result;
    }
    bool raw = false;
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    const int datagram_error = fd.valid() ? 0 : errno;
    if (!fd.valid()) {
        fd.reset(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
        raw = true;
    }
    if (!fd.valid()) {
        result.error = errno;
        result.outcome = means_not_allowed(datagram_error) && means_not_allowed(result.error)
                             ? EchoResult::no_socket
                             : EchoResult::socket_failed;
        return result;
    }
    if (!raw) {
        // ICMP errors about our request reach a datagram socket only through its error queue.
        const int on = 1;
        ::setsockopt(fd.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }

    const uint16_t seq = g_sequence.fetch_add(1) + 1;
    // A datagram socket's id is the kernel's (it matches replies itself); a raw socket's is ours.
    const int id = raw ? int((uint32_t(::getpid()) ^ (uint32_t(seq) << 5)) & 0xFFFF) : -1;

    uint8_t packet[kIcmpHeader + kMaxPayload] = {};
    packet[0] = ICMP_ECHO;
    packet[4] = uint8_t(id >> 8);
    packet[5] = uint8_t(id);
    packet[6] = uint8_t(seq >> 8);
    packet[7] = uint8_t(seq);
    std::memcpy(packet + kIcmpHeader, payload, len);
    const uint16_t sum = internet_checksum(packet, kIcmpHeader + len);
    packet[2] = uint8_t(sum >> 8);
    packet[3] = uint8_t(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = target;
    if (::sendto(fd.get(), packet, kIcmpHeader + len, 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0) {
        result.error = errno;
        return result;
    }

    const auto deadline = Clock::now() + wait;
    uint8_t buf[kEchoReplyBufferSize];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd.get(), POLLIN, 0};
        const int n = ::poll(&p, 1, int(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (!raw && (p.revents & POLLERR)) {
            // An error queued for our request: an ICMP error from the way, or a local one.
            uint8_t data[kEchoReplyBufferSize];
            alignas(cmsghdr) uint8_t control[512];
            iovec iov{data, sizeof data};
            msghdr msg{};
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            if (::recvmsg(fd.get(), &msg, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0) {
                for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
                    sock_extended_err ee;
                    std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
                    if (ee.ee_origin == SO_EE_ORIGIN_ICMP) {
                        result.outcome = EchoResult::error_reply;
                        result.status = ee.ee_type << 8 | ee.ee_code;
                    } else {
                        result.outcome = EchoResult::no_reply;
                        result.error = int(ee.ee_errno);
                    }
                    return result;
                }
            }
            continue;
        }
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        const ssize_t got = ::recvfrom(fd.get(), buf, sizeof buf, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &from_len);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            result.error = errno;
            return result;
        }
        int status = 0;
        const EchoPacket kind = classify_echo_packet(buf, std::size_t(got), raw, id, seq, &status);
        if (kind == EchoPacket::reply && from.sin_addr.s_addr == target) {
            result.outcome = EchoResult::reply;
            return result;
        }
        if (kind == EchoPacket::error_reply) {
            result.outcome = EchoResult::error_reply;
            result.status = status;
            return result;
        }
        // Someone else's ICMP traffic (a raw socket sees it all): keep waiting.
    }
    result.outcome = EchoResult::no_reply;
    result.error = ETIMEDOUT;
    return result;
}

std::string echo_error_text(int error) { return std::strerror(error); }

}  // namespace quillon

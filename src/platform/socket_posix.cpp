// SPDX-License-Identifier: Apache-2.0
// Sockets on Linux: Berkeley sockets, poll.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/socket.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

int fd_of(SocketHandle s) { return static_cast<int>(s); }

sockaddr_in to_sockaddr(Ipv4 addr, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addr.net;
    return sa;
}

// When a datagram with the kernel's receive stamp `stamp` (wall clock) arrived, on the steady
// clock: its age now, taken back from the steady time now. The wall clock may be set while the
// datagram waits; an age below zero then counts as zero (the time it was read).
Clock::time_point arrival_of(const timespec& stamp) {
    const auto steady_now = Clock::now();
    timespec wall_now{};
    ::clock_gettime(CLOCK_REALTIME, &wall_now);
    const std::int64_t age_ns = (static_cast<std::int64_t>(wall_now.tv_sec) - stamp.tv_sec) *
                                    1000000000LL +
                                (static_cast<std::int64_t>(wall_now.tv_nsec) - stamp.tv_nsec);
    return steady_now - std::chrono::nanoseconds(age_ns > 0 ? age_ns : 0);
}

}  // namespace

void close_socket(SocketHandle s) {
    if (s >= 0) ::close(fd_of(s));
}

SocketLibrary::SocketLibrary() : ok_(true) {}
SocketLibrary::~SocketLibrary() = default;

int last_socket_error() { return errno; }
std::string socket_error_text(int code) { return std::strerror(code); }
int address_in_use_error() { return EADDRINUSE; }

Socket open_tcp_socket() {
    return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

Socket open_udp_socket() {
    return Socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
}

bool connect_within(SocketHandle s, Ipv4 addr, uint16_t port, std::chrono::milliseconds wait) {
    const sockaddr_in target = to_sockaddr(addr, port);
    const int fd = fd_of(s);
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

void settle_connected(SocketHandle s) {
    const int fd = fd_of(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

uint32_t inet_addr_of(const char* text) { return ::inet_addr(text ? text : "255.255.255.255"); }

long send_now(SocketHandle s, const void* data, std::size_t len) {
    // MSG_NOSIGNAL: a device that goes away mid-send is a failed image, not the end of the program.
    const ssize_t n = ::send(fd_of(s), data, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return kWouldBlock;
    return n < 0 ? -1 : long(n);
}

long receive_now(SocketHandle s, void* buf, std::size_t cap) {
    ssize_t got;
    do {
        got = ::recv(fd_of(s), buf, cap, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
    return got < 0 ? -1 : long(got);
}

void acknowledge_quickly(SocketHandle s) {
    const int quick = 1;
    ::setsockopt(fd_of(s), IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
}

void set_broadcast(SocketHandle s) {
    int one = 1;
    ::setsockopt(fd_of(s), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
}

void set_reuse_address(SocketHandle s) {
    int one = 1;
    ::setsockopt(fd_of(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

void grow_receive_buffer(SocketHandle s, int bytes) {
    const int fd = fd_of(s);
    int want = bytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    int got = 0;
    socklen_t got_len = sizeof got;
    // The kernel caps SO_RCVBUF at net.core.rmem_max (and reports double what it grants);
    // a privileged process may go past the cap.
    if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &got_len) == 0 && got < want) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want);
    }
}

void stamp_arrivals(SocketHandle s) {
    int one = 1;
    ::setsockopt(fd_of(s), SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
}

int bind_ipv4(SocketHandle s, Ipv4 addr, uint16_t port) {
    const sockaddr_in sa = to_sockaddr(addr, port);
    return ::bind(fd_of(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
}

bool send_datagram(SocketHandle s, const void* data, std::size_t len, Ipv4 addr, uint16_t port) {
    const sockaddr_in to = to_sockaddr(addr, port);
    return ::sendto(fd_of(s), data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) >= 0;
}

int receive_datagram(SocketHandle s, void* buf, std::size_t cap, Datagram& d) {
    for (;;) {
        sockaddr_in from{};
        iovec iov{buf, cap};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        // MSG_TRUNC makes the result the datagram's real length, so a longer one is recognised.
        // MSG_DONTWAIT: read only what is queued (readiness can also be stale, a datagram
        // dropped for a bad checksum).
        const ssize_t n = ::recvmsg(fd_of(s), &msg, MSG_TRUNC | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        }
        d.length = std::size_t(n);
        d.arrived = Clock::now();
        d.from = Ipv4{from.sin_addr.s_addr};
        d.from_port = ntohs(from.sin_port);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                d.arrived = arrival_of(stamp);
            }
        }
        return 1;
    }
}

int wait_sockets(SocketWait* items, std::size_t n, std::chrono::milliseconds limit) {
    // The upgrade exchange waits once per piece of data it sends: no allocation for a few items.
    pollfd few[4];
    std::vector<pollfd> many(n > 4 ? n : 0);
    pollfd* fds = n > 4 ? many.data() : few;
    for (std::size_t i = 0; i < n; ++i) {
        items[i].readable = items[i].writable = false;
        // A negative descriptor is ignored by poll.
        fds[i].fd = items[i].s == kNoSocket ? -1 : fd_of(items[i].s);
        fds[i].events = short((items[i].want_read ? POLLIN : 0) |
                              (items[i].want_write ? POLLOUT : 0));
    }
    const int ready = ::poll(fds, nfds_t(n), int(limit.count()));
    if (ready < 0) return errno == EINTR ? 0 : -1;
    for (std::size_t i = 0; i < n; ++i) {
        items[i].readable = items[i].want_read && (fds[i].revents & (POLLIN | POLLERR | POLLHUP));
        items[i].writable = items[i].want_write && (fds[i].revents & POLLOUT);
    }
    return ready;
}

}  // namespace quillon

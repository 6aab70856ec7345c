// SPDX-License-Identifier: Apache-2.0
// Sockets on Windows: Winsock 2, select.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <thread>

#include "platform/socket.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

SOCKET sock_of(SocketHandle s) { return static_cast<SOCKET>(s); }
SocketHandle handle_of(SOCKET s) {
    return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

sockaddr_in to_sockaddr(Ipv4 addr, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addr.net;
    return sa;
}

// WSAStartup once for the process, however the sockets are first used (the programs also make a
// SocketLibrary at start; Winsock counts the starts).
void ensure_started() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

timeval to_timeval(std::chrono::milliseconds ms) {
    const long long v = ms.count() > 0 ? ms.count() : 0;
    timeval tv{};
    tv.tv_sec = long(v / 1000);
    tv.tv_usec = long((v % 1000) * 1000);
    return tv;
}

}  // namespace

void close_socket(SocketHandle s) {
    if (s != kNoSocket) ::closesocket(sock_of(s));
}

SocketLibrary::SocketLibrary() {
    WSADATA data{};
    ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SocketLibrary::~SocketLibrary() {
    if (ok_) ::WSACleanup();
}

int last_socket_error() { return ::WSAGetLastError(); }
std::string socket_error_text(int code) {
    return win32_error_text(static_cast<unsigned long>(code));
}
int address_in_use_error() { return WSAEADDRINUSE; }

Socket open_tcp_socket() {
    ensure_started();
    // WSA_FLAG_NO_HANDLE_INHERIT: programs started later do not inherit it (close-on-exec).
    Socket s(handle_of(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
    if (s.valid()) {
        u_long on = 1;
        if (::ioctlsocket(sock_of(s.get()), FIONBIO, &on) != 0) s.reset();
    }
    return s;
}

Socket open_udp_socket() {
    ensure_started();
    return Socket(handle_of(::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                         WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
}

bool connect_within(SocketHandle s, Ipv4 addr, uint16_t port, std::chrono::milliseconds wait) {
    const sockaddr_in target = to_sockaddr(addr, port);
    const SOCKET sock = sock_of(s);
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    // select, not WSAPoll: WSAPoll misses a refused non-blocking connect on older Windows 10.
    // A refused or failed connect shows in the exception set.
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        fd_set wr, ex;
        FD_ZERO(&wr);
        FD_ZERO(&ex);
        FD_SET(sock, &wr);
        FD_SET(sock, &ex);
        timeval tv = to_timeval(left);
        const int n = ::select(0, nullptr, &wr, &ex, &tv);
        if (n <= 0) return false;
        if (FD_ISSET(sock, &ex)) return false;
        int err = 0;
        int len = sizeof err;
        return ::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
               err == 0;
    }
}

void settle_connected(SocketHandle) {}

uint32_t inet_addr_of(const char* text) { return ::inet_addr(text ? text : "255.255.255.255"); }

long send_now(SocketHandle s, const void* data, std::size_t len) {
    // The exchange's sockets stay non-blocking; Windows raises no signal for a peer that has gone.
    const int chunk = len > 0x40000000u ? 0x40000000 : int(len);
    const int n = ::send(sock_of(s), static_cast<const char*>(data), chunk, 0);
    if (n == SOCKET_ERROR) return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
    return long(n);
}

long receive_now(SocketHandle s, void* buf, std::size_t cap) {
    const int chunk = cap > 0x40000000u ? 0x40000000 : int(cap);
    const int n = ::recv(sock_of(s), static_cast<char*>(buf), chunk, 0);
    if (n == SOCKET_ERROR) return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
    return long(n);
}

void acknowledge_quickly(SocketHandle) {}

void set_broadcast(SocketHandle s) {
    BOOL one = TRUE;
    ::setsockopt(sock_of(s), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one),
                 sizeof one);
}

void set_reuse_address(SocketHandle s) {
    BOOL one = TRUE;
    ::setsockopt(sock_of(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                 sizeof one);
}

void grow_receive_buffer(SocketHandle s, int bytes) {
    ::setsockopt(sock_of(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
}

void stamp_arrivals(SocketHandle) {}

int bind_ipv4(SocketHandle s, Ipv4 addr, uint16_t port) {
    const sockaddr_in sa = to_sockaddr(addr, port);
    return ::bind(sock_of(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0
               ? 0
               : ::WSAGetLastError();
}

bool send_datagram(SocketHandle s, const void* data, std::size_t len, Ipv4 addr, uint16_t port) {
    const sockaddr_in to = to_sockaddr(addr, port);
    return ::sendto(sock_of(s), static_cast<const char*>(data), int(len), 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR;
}

int receive_datagram(SocketHandle s, void* buf, std::size_t cap, Datagram& d) {
    const SOCKET sock = sock_of(s);
    // Only read when something is queued: the discovery sockets are blocking.
    u_long queued = 0;
    if (::ioctlsocket(sock, FIONREAD, &queued) != 0) return -1;
    if (queued == 0) {
        fd_set rd;
        FD_ZERO(&rd);
        FD_SET(sock, &rd);
        timeval tv{};
        if (::select(0, &rd, nullptr, nullptr, &tv) <= 0) return 0;
    }
    sockaddr_in from{};
    int from_len = sizeof from;
    const int n = ::recvfrom(sock, static_cast<char*>(buf), int(cap), 0,
                             reinterpret_cast<sockaddr*>(&from), &from_len);
    // No kernel stamp here: the time it was read.
    d.arrived = Clock::now();
    d.from = Ipv4{from.sin_addr.s_addr};
    d.from_port = ntohs(from.sin_port);
    if (n == SOCKET_ERROR) {
        const int err = ::WSAGetLastError();
        // Longer than the buffer: the rest is gone; the caller drops the datagram whole.
        if (err == WSAEMSGSIZE) {
            d.length = cap + 1;
            return 1;
        }
        // An ICMP port-unreachable for an earlier send shows up as a reset on a UDP socket:
        // no datagram, nothing wrong with the socket.
        if (err == WSAECONNRESET) return 0;
        return err == WSAEWOULDBLOCK ? 0 : -1;
    }
    d.length = std::size_t(n);
    return 1;
}

int wait_sockets(SocketWait* items, std::size_t n, std::chrono::milliseconds limit) {
    // fd_set holds up to FD_SETSIZE handles (not handle numbers): a few sockets fit whatever
    // their values.
    fd_set rd, wr, ex;
    FD_ZERO(&rd);
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    std::size_t used = 0;
    for (std::size_t i = 0; i < n; ++i) {
        items[i].readable = items[i].writable = false;
        if (items[i].s == kNoSocket || used >= FD_SETSIZE) continue;
        const SOCKET sock = sock_of(items[i].s);
        if (items[i].want_read) FD_SET(sock, &rd);
        if (items[i].want_write) FD_SET(sock, &wr);
        FD_SET(sock, &ex);
        ++used;
    }
    if (used == 0) {
        // select refuses empty sets; the wait is only a pause then.
        std::this_thread::sleep_for(limit);
        return 0;
    }
    timeval tv = to_timeval(limit);
    const int ready = ::select(0, &rd, &wr, &ex, &tv);
    if (ready <= 0) return ready < 0 ? -1 : 0;
    int count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (items[i].s == kNoSocket) continue;
        const SOCKET sock = sock_of(items[i].s);
        // An error shows in the exception set: reading it tells the caller.
        items[i].readable = items[i].want_read && (FD_ISSET(sock, &rd) || FD_ISSET(sock, &ex));
        items[i].writable = items[i].want_write && FD_ISSET(sock, &wr);
        if (items[i].readable || items[i].writable) ++count;
    }
    return count;
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#pragma once
// IPv4 sockets for the upgrade exchange (TCP) and discovery (UDP), the same on every system:
// Berkeley sockets on Linux, Winsock 2 on Windows. Error codes are the system's own (errno,
// WSAGetLastError); socket_error_text names them.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/ipv4.h"

namespace quillon {

// A socket as the system names it (a descriptor on Linux, a SOCKET on Windows), -1 for none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

void close_socket(SocketHandle s);

// A socket that closes itself.
class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle s) : s_(s) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& o) noexcept : s_(std::exchange(o.s_, kNoSocket)) {}
    Socket& operator=(Socket&& o) noexcept {
        if (this != &o) reset(std::exchange(o.s_, kNoSocket));
        return *this;
    }
    ~Socket() { reset(); }

    SocketHandle get() const { return s_; }
    bool valid() const { return s_ != kNoSocket; }
    SocketHandle release() { return std::exchange(s_, kNoSocket); }
    void reset(SocketHandle s = kNoSocket) {
        if (s_ != kNoSocket) close_socket(s_);
        s_ = s;
    }

private:
    SocketHandle s_ = kNoSocket;
};

// The socket library for the life of the program (WSAStartup / WSACleanup on Windows, nothing
// on Linux). Made once at the start of main(); the functions below also start it on first use,
// so that tests and tools need not.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// The calling thread's last socket error, and its text.
int last_socket_error();
std::string socket_error_text(int code);
// The code of "address already in use".
int address_in_use_error();

// A TCP socket in non-blocking mode; invalid when none can be made (last_socket_error says why).
Socket open_tcp_socket();
// A UDP socket (blocking); invalid when none can be made.
Socket open_udp_socket();

// Connects the non-blocking TCP socket `s` to addr:port, waiting at most `wait`. True when it is
// connected; the socket stays non-blocking. After a failure the socket is of no further use.
bool connect_within(SocketHandle s, Ipv4 addr, uint16_t port, std::chrono::milliseconds wait);

// Puts a connected socket of the upgrade exchange into the mode the exchange keeps it in:
// blocking on Linux, where each of its calls says for itself that it does not wait; left
// non-blocking on Windows, which has no such switch per call.
void settle_connected(SocketHandle s);

// What send_now and receive_now return when the call would have to wait.
inline constexpr long kWouldBlock = -2;

// Sends what the socket takes now, never blocking and never raising a signal when the peer has
// gone: the bytes taken (> 0), kWouldBlock, or -1 on an error (0 for a zero-length send).
long send_now(SocketHandle s, const void* data, std::size_t len);
// Reads what is there now: the bytes read (> 0), 0 when the peer closed the connection,
// kWouldBlock when nothing is there, -1 on an error.
long receive_now(SocketHandle s, void* buf, std::size_t cap);
// Asks the system to acknowledge what arrives at once rather than delayed (TCP_QUICKACK on
// Linux; Windows has no such switch per socket, and nothing is done).
void acknowledge_quickly(SocketHandle s);

// Options of a discovery socket.
void set_broadcast(SocketHandle s);
void set_reuse_address(SocketHandle s);
// Asks for a receive buffer of `bytes` (past the system's cap where the process may).
void grow_receive_buffer(SocketHandle s, int bytes);
// Asks the system to stamp every datagram with its arrival (Linux); nothing where it cannot.
void stamp_arrivals(SocketHandle s);
// Binds to addr:port: 0, or the error code.
int bind_ipv4(SocketHandle s, Ipv4 addr, uint16_t port);
// One datagram to addr:port (best effort, no signal); true when the system took it.
bool send_datagram(SocketHandle s, const void* data, std::size_t len, Ipv4 addr, uint16_t port);

// One datagram read without waiting. `length` is its whole length, which is more than `cap`
// when it did not fit (then only the first `cap` bytes are in the buffer and it is to be dropped
// whole). `arrived` is when it reached the socket, on the steady clock: the system's stamp where
// there is one, else the time it was read. `from` and `from_port` name the sender.
struct Datagram {
    std::size_t length = 0;
    std::chrono::steady_clock::time_point arrived{};
    Ipv4 from{};             // the sender's address
    uint16_t from_port = 0;  // and port
};
// 1 with `d` filled, 0 when nothing is queued, -1 on an error.
int receive_datagram(SocketHandle s, void* buf, std::size_t cap, Datagram& d);

// The classic reading of an address text (inet_addr: also "127.1", octal and hexadecimal parts),
// in network byte order; 255.255.255.255 for a null or unreadable text.
uint32_t inet_addr_of(const char* text);

// Waiting on several sockets at once (poll on Linux; select on Windows, whose sets hold handles
// and so have no limit on the handle numbers). Items with kNoSocket are ignored.
struct SocketWait {
    SocketHandle s = kNoSocket;
    bool want_read = true;
    bool want_write = false;
    // Results: readable also when an error or the peer's close waits to be read.
    bool readable = false;
    bool writable = false;
};
// Waits until one item is ready or `limit` passes: the number of ready items, 0 when the time
// ran out (or a signal broke the wait), -1 on an error.
int wait_sockets(SocketWait* items, std::size_t n, std::chrono::milliseconds limit);

}  // namespace quillon

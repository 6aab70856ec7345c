// SPDX-License-Identifier: Apache-2.0
#pragma once
// The discovery endpoint: two UDP sockets on port 8400 (one bound to the chosen adapter's
// address, one to the wildcard address), the receive thread, and the search request.
//
// Both binds succeed because both sockets set SO_REUSEADDR before binding. The system then
// hands each datagram to the best-matching socket: answers sent to the adapter's
// address arrive on the bound socket, broadcast answers (and our own broadcast requests,
// which are dropped as requests) on the wildcard socket. So every answer arrives once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_codec.h"
#include "platform/ipv4.h"
#include "platform/port_claim.h"
#include "platform/socket.h"
#include "platform/wakeup.h"

namespace quillon {

// One accepted answer and when it reached the socket (the kernel's receive time, on the
// steady clock; the time it was read when the kernel gave none).
struct ReceivedAnswer {
    DiscoveryAnswer answer;
    std::chrono::steady_clock::time_point arrived{};
    // Read from the socket bound to the adapter's address (sent to that address), not from the
    // wildcard one.
    bool on_bound_socket = false;
};

// Where accepted answers go (the device intake). Texts are null when the element is missing.
// Called on the receive thread; no lock of the endpoint is held during the call. The sink
// must not call start or stop of the endpoint that calls it.
class FoundDeviceSink {
public:
    virtual ~FoundDeviceSink() = default;
    virtual void add_found_device(const char* ip, const char* id, const char* mac,
                                  const char* version, const char* status) = 0;
    // The answers read at one go from the sockets, in the order they were read, with the same
    // status text. A sink that can take them together overrides this; by default each is
    // handed to add_found_device in turn.
    // (Defined here: quillon_discovery_intake implements sinks without the sockets.)
    virtual void add_found_devices(const std::vector<ReceivedAnswer>& answers, const char* status) {
        auto text = [](const std::optional<std::string>& t) { return t ? t->c_str() : nullptr; };
        for (const ReceivedAnswer& r : answers) {
            add_found_device(text(r.answer.ip), text(r.answer.id), text(r.answer.mac),
                             text(r.answer.version), status);
        }
    }
};

class BrelkMulEvent {
public:
    static constexpr uint16_t kPort = 8400;
    // Receive buffer asked for on each socket, so that a burst of answers from a large
    // building is queued rather than dropped while the receive thread parses.
    static constexpr int kRecvBufferBytes = 4 * 1024 * 1024;
    // Most datagrams read from one socket before the answers read so far are handed over:
    // bounds how long one hand-over keeps the window busy.
    static constexpr int kMaxBatch = 256;

    // The status text handed to the sink with every answer ("Ready" in the user's language).
    // Asked for on the receive thread once per answer.
    using ReadyText = std::function<std::string()>;

    // Hands "Ready" to the sink.
    BrelkMulEvent() = default;
    explicit BrelkMulEvent(ReadyText ready_text) : m_ready_text(std::move(ready_text)) {}
    BrelkMulEvent(const BrelkMulEvent&) = delete;
    BrelkMulEvent& operator=(const BrelkMulEvent&) = delete;
    ~BrelkMulEvent();  // stops the receive thread

    // Creates and binds both sockets and starts the receive thread. 0, or -1 when a socket
    // cannot be created (or the thread cannot be started). A failed bind is not an error
    // here: the socket is kept for sending; local_bind_errno/any_bind_errno tell it. While
    // another Quillon program of this network namespace listens on the same address and port,
    // neither socket is bound (both codes address_in_use_error()): it would take that
    // program's answers.
    // A running endpoint is stopped first. `port` is 8400 in the programs; tests may pick another.
    int start(FoundDeviceSink* owner, Ipv4 bind_addr, uint16_t port = kPort);
    // After stop returns, no answer reaches the sink and both sockets are closed.
    void stop();
    // The same, for a caller that serves the sink's requests itself (the window thread, when
    // the sink hands answers to the window and waits for them): `serve` runs again and again
    // while the receive thread winds down, so that a hand-over already waiting for the caller
    // can end. Without it the two would wait for each other.
    void stop(const std::function<void()>& serve);
    // One request to `target`, or to 255.255.255.255 when target is null; through the bound
    // socket, and also the wildcard one when `both` is nonzero. A target names the request on
    // standard error. Then pauses timing().after_search. Callable from any thread, also while
    // another thread calls stop (the request then goes nowhere).
    void search(int both, const char* target = nullptr);

    // The socket error code (socket_error_text) of the last start's bind of the bound /
    // wildcard socket; 0 when it succeeded.
    int local_bind_errno() const { return m_local_bind_errno.load(); }
    int any_bind_errno() const { return m_any_bind_errno.load(); }

    // Where a request for `target` goes (network byte order): inet_addr of the text, which is
    // 255.255.255.255 for a null or unreadable text.
    static uint32_t search_destination(const char* target);

private:
    void recv_loop();
    // Reads what `sock` holds (at most kMaxBatch datagrams, never blocking) and appends the
    // accepted answers to `out`.
    void on_recv(SocketHandle sock, std::vector<ReceivedAnswer>& out);
    void hand_over(const std::vector<ReceivedAnswer>& answers);
    void stop_locked(const std::function<void()>& serve = {});  // stop with m_control held
    void close_sockets();

    // m_control serialises start and stop (held by their caller, taken before m_sock_lock).
    // m_sock_lock guards the two sockets against being closed, and their handles reused,
    // while search sends on them: senders share it, start and stop take it exclusively. The
    // receive thread needs neither: it only runs between start and the join in stop.
    std::mutex m_control;
    mutable std::shared_mutex m_sock_lock;
    std::atomic<SocketHandle> m_sock_local{kNoSocket};
    std::atomic<SocketHandle> m_sock_any{kNoSocket};
    std::thread m_recv_thread;
    // Set by the receive thread as it ends (under m_ended_lock, a leaf), so that a stop that
    // serves the sink can wait for it between turns.
    std::mutex m_ended_lock;
    std::condition_variable m_ended_cv;
    bool m_recv_ended = false;
    char m_recv_buf[kMaxDatagram + 1] = {};  // one datagram and a terminating zero (receive thread)
    FoundDeviceSink* m_owner = nullptr;
    std::atomic<int> m_active{0};
    std::unique_ptr<Wakeup> m_wake;  // stop wakes the receive wait instead of waiting it out
    PortClaim m_claim;               // this program's claim on the address and port (start to stop)
    uint16_t m_port = kPort;
    std::atomic<int> m_local_bind_errno{0};
    std::atomic<int> m_any_bind_errno{0};
    ReadyText m_ready_text;
};

}  // namespace quillon

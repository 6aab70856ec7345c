// SPDX-License-Identifier: Apache-2.0
#include "discovery/brelk_mul_event.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/timing.h"

namespace quillon {

namespace {

// A UDP socket on `addr`:`port` with broadcast allowed and room for bursts. Returns the
// socket (invalid when it cannot be created) and leaves bind's error code in `bind_errno`. With
// `claimed_elsewhere` the socket is not bound (kept for sending) and bind_errno is "address in
// use".
Socket open_discovery_socket(Ipv4 addr, uint16_t port, int& bind_errno, bool claimed_elsewhere) {
    Socket s = open_udp_socket();
    if (!s.valid()) return s;
    set_broadcast(s.get());
    // Both sockets bind the same port, one to an address and one to the wildcard.
    set_reuse_address(s.get());
    // The system notes when each datagram arrived: an answer that came within the search
    // window counts even when the receive thread reads it later.
    stamp_arrivals(s.get());
    grow_receive_buffer(s.get(), BrelkMulEvent::kRecvBufferBytes);
    if (claimed_elsewhere) {
        bind_errno = address_in_use_error();
        return s;
    }
    bind_errno = bind_ipv4(s.get(), addr, port);
    return s;
}

}  // namespace

BrelkMulEvent::~BrelkMulEvent() { stop(); }

uint32_t BrelkMulEvent::search_destination(const char* target) { return inet_addr_of(target); }

int BrelkMulEvent::start(FoundDeviceSink* owner, Ipv4 bind_addr, uint16_t port) {
    std::lock_guard control(m_control);
    stop_locked();
    if (m_recv_thread.joinable()) return -1;  // called from the sink: the old loop still runs
    m_owner = owner;
    bool busy = false;
    m_claim.claim(bind_addr, port, busy);
    int local_err = 0, any_err = 0;
    Socket local = open_discovery_socket(bind_addr, port, local_err, busy);
    Socket any;
    if (local.valid()) any = open_discovery_socket(kIpv4Any, port, any_err, busy);
    m_local_bind_errno = local_err;
    m_any_bind_errno = any_err;
    {
        std::unique_lock lock(m_sock_lock);
        m_port = port;
        m_sock_local = local.release();
        m_sock_any = any.release();
    }
    // Without both sockets there is no receive thread; a bound socket that was opened stays
    // usable for sending until stop.
    if (m_sock_local == kNoSocket || m_sock_any == kNoSocket) return -1;
    m_wake = std::make_unique<Wakeup>();  // optional: without it stop waits
    m_active = 1;
    {
        std::lock_guard lock(m_ended_lock);
        m_recv_ended = false;
    }
    try {
        m_recv_thread = std::thread([this] { recv_loop(); });
    } catch (const std::system_error&) {
        m_active = 0;
        return -1;
    }
    return 0;
}

void BrelkMulEvent::stop() {
    std::lock_guard control(m_control);
    stop_locked();
}

void BrelkMulEvent::stop(const std::function<void()>& serve) {
    std::lock_guard control(m_control);
    stop_locked(serve);
}

void BrelkMulEvent::stop_locked(const std::function<void()>& serve) {
    m_active = 0;
    if (m_recv_thread.joinable()) {
        // From the receive thread itself (a sink that should not) there is nothing to wait
        // for: the loop ends once the sink returns, and the next stop joins it.
        if (m_recv_thread.get_id() == std::this_thread::get_id()) return;
        if (m_wake) m_wake->signal();
        if (serve) {
            std::unique_lock lock(m_ended_lock);
            while (!m_recv_ended) {
                lock.unlock();
                serve();
                lock.lock();
                m_ended_cv.wait_for(lock, std::chrono::milliseconds(2),
                                    [this] { return m_recv_ended; });
            }
        }
        m_recv_thread.join();
    }
    m_wake.reset();
    close_sockets();
    m_claim.release();
}

void BrelkMulEvent::close_sockets() {
    std::unique_lock lock(m_sock_lock);
    Socket local(m_sock_local.exchange(kNoSocket));
    Socket any(m_sock_any.exchange(kNoSocket));
}

void BrelkMulEvent::search(int both, const char* target) {
    const std::string request = build_search_request();
    if (target) {
        // The console line of a directed request; standard error stands in for the console.
        std::fprintf(stderr, "BrelkMulEvent::search: %s\n", target);
    }
    const Ipv4 to{search_destination(target)};
    {
        std::shared_lock lock(m_sock_lock);
        // Send results are not acted on: discovery is best effort, a lost request just means
        // fewer answers.
        if (SocketHandle s = m_sock_local; s != kNoSocket) {
            send_datagram(s, request.data(), request.size(), to, m_port);
        }
        if (SocketHandle s = m_sock_any; both && s != kNoSocket) {
            send_datagram(s, request.data(), request.size(), to, m_port);
        }
    }
    std::this_thread::sleep_for(timing().after_search);
}

void BrelkMulEvent::recv_loop() {
    // Without a wake-up (none could be made) its item is ignored and stop waits the wait out.
    SocketWait fds[3] = {{m_sock_local}, {m_sock_any}, {m_wake ? m_wake->handle() : kNoSocket}};
    const std::chrono::milliseconds wait = timing().recv_wait;
    std::vector<ReceivedAnswer> answers;
    answers.reserve(2 * kMaxBatch);
    while (m_active) {
        if (wait_sockets(fds, 3, wait) <= 0)
            continue;  // timeout or a signal: look at m_active again
        // Answers that arrive on both sockets are handed over twice, the bound socket's first.
        // Everything already queued is read first and handed over at once: the intake's work
        // per hand-over (a request to the window) is the same for one answer or hundreds.
        answers.clear();
        if (fds[0].readable) on_recv(fds[0].s, answers);
        for (ReceivedAnswer& r : answers) r.on_bound_socket = true;
        if (fds[1].readable) on_recv(fds[1].s, answers);
        hand_over(answers);
    }
    {
        std::lock_guard lock(m_ended_lock);
        m_recv_ended = true;
    }
    m_ended_cv.notify_all();
}

void BrelkMulEvent::on_recv(SocketHandle sock, std::vector<ReceivedAnswer>& out) {
    for (int i = 0; i < kMaxBatch; ++i) {
        // Only what is queued is read (readiness can also be stale, a datagram dropped for a bad
        // checksum), and the loop never blocks here. A datagram longer than the buffer is
        // recognised by its length and dropped whole instead of being evaluated cut off.
        Datagram d;
        const int got = receive_datagram(sock, m_recv_buf, kMaxDatagram, d);
        if (got <= 0) return;  // nothing more queued, or an error: the loop goes on
        const std::size_t n = d.length;
        if (n == 0 || n > kMaxDatagram) continue;
        m_recv_buf[n] = '\0';
        std::optional<DiscoveryAnswer> answer = evaluate_answer(m_recv_buf, n);
        if (answer) out.push_back({std::move(*answer), d.arrived});
    }
}

void BrelkMulEvent::hand_over(const std::vector<ReceivedAnswer>& answers) {
    if (answers.empty() || !m_owner || !m_active) return;
    const std::string ready = m_ready_text ? m_ready_text() : std::string("Ready");
    m_owner->add_found_devices(answers, ready.c_str());
}

}  // namespace quillon

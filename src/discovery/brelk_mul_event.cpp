#include "discovery/brelk_mul_event.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>

#include "platform/timing.h"
#include "platform/unique_fd.h"

namespace quillon {

namespace {

// Claims the adapter's address and port for this program among the Quillon programs of this
// network namespace: a name in the abstract Unix socket namespace (one per network namespace,
// released when the process ends however it ends). Both discovery sockets share their port
// with SO_REUSEADDR, which would let a second Quillon program bind it too; the kernel then
// hands each answer sent to the address to one of the two programs only, and the other one
// lists nothing and misses address conflicts. `busy` tells that another program holds it; a
// failure of any other kind leaves the port unclaimed and the endpoint working as before.
UniqueFd claim_port(in_addr addr, uint16_t port, bool& busy) {
    busy = false;
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return fd;
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    const std::string name = std::string("quillon-discovery-") + text + ":" + std::to_string(port);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&sa), len) != 0) {
        busy = errno == EADDRINUSE;
        fd.reset();
    }
    return fd;
}

// A UDP socket on `addr`:`port` with broadcast allowed and room for bursts. Returns the
// socket (invalid when it cannot be created) and leaves bind's errno in `bind_errno`. With
// `claimed_elsewhere` the socket is not bound (kept for sending) and bind_errno is EADDRINUSE.
UniqueFd open_discovery_socket(in_addr addr, uint16_t port, int& bind_errno, bool claimed_elsewhere) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (!fd.valid()) return fd;
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    // Both sockets bind the same port, one to an address and one to the wildcard.
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // The kernel notes when each datagram arrived: an answer that came within the search
    // window counts even when the receive thread reads it later.
    ::setsockopt(fd.get(), SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    int want = BrelkMulEvent::kRecvBufferBytes;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    int got = 0;
    socklen_t got_len = sizeof got;
    // The kernel caps SO_RCVBUF at net.core.rmem_max (and reports double what it grants);
    // a privileged process may go past the cap.
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &got, &got_len) == 0 && got < want) {
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want);
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = addr;
    if (claimed_elsewhere) {
        bind_errno = EADDRINUSE;
        return fd;
    }
    bind_errno = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
    return fd;
}

// When a datagram with the kernel's receive stamp `stamp` (wall clock) arrived, on the steady
// clock: its age now, taken back from the steady time now. The wall clock may be set while the
// datagram waits; an age below zero then counts as zero (the time it was read).
std::chrono::steady_clock::time_point arrival_of(const timespec& stamp) {
    const auto steady_now = std::chrono::steady_clock::now();
    timespec wall_now{};
    ::clock_gettime(CLOCK_REALTIME, &wall_now);
    const std::int64_t age_ns = (static_cast<std::int64_t>(wall_now.tv_sec) - stamp.tv_sec) * 1000000000LL +
                                (static_cast<std::int64_t>(wall_now.tv_nsec) - stamp.tv_nsec);
    return steady_now - std::chrono::nanoseconds(age_ns > 0 ? age_ns : 0);
}

}  // namespace

BrelkMulEvent::~BrelkMulEvent() { stop(); }

in_addr_t BrelkMulEvent::search_destination(const char* target) {
    return ::inet_addr(target ? target : "255.255.255.255");
}

int BrelkMulEvent::start(FoundDeviceSink* owner, in_addr bind_addr, uint16_t port) {
    std::lock_guard control(m_control);
    stop_locked();
    if (m_recv_thread.joinable()) return -1;  // called from the sink: the old loop still runs
    m_owner = owner;
    bool busy = false;
    m_claim = claim_port(bind_addr, port, busy);
    int local_err = 0, any_err = 0;
    UniqueFd local = open_discovery_socket(bind_addr, port, local_err, busy);
    UniqueFd any;
    if (local.valid()) {
        in_addr wildcard{};
        wildcard.s_addr = htonl(INADDR_ANY);
        any = open_discovery_socket(wildcard, port, any_err, busy);
    }
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
    if (m_sock_local < 0 || m_sock_any < 0) return -1;
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));  // optional: without it stop waits
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
        if (m_wake.valid()) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(m_wake.get(), &one, sizeof one);
        }
        if (serve) {
            std::unique_lock lock(m_ended_lock);
            while (!m_recv_ended) {
                lock.unlock();
                serve();
                lock.lock();
                m_ended_cv.wait_for(lock, std::chrono::milliseconds(2), [this] { return m_recv_ended; });
            }
        }
        m_recv_thread.join();
    }
    m_wake.reset();
    close_sockets();
    m_claim.reset();
}

void BrelkMulEvent::close_sockets() {
    std::unique_lock lock(m_sock_lock);
    UniqueFd local(m_sock_local.exchange(-1));
    UniqueFd any(m_sock_any.exchange(-1));
}

void BrelkMulEvent::search(int both, const char* target) {
    const std::string request = build_search_request();
    if (target) {
        // The console line of a directed request; standard error stands in for the console.
        std::fprintf(stderr, "BrelkMulEvent::search: %s\n", target);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = search_destination(target);
    {
        std::shared_lock lock(m_sock_lock);
        to.sin_port = htons(m_port);
        const auto* dest = reinterpret_cast<const sockaddr*>(&to);
        // Send results are not acted on: discovery is best effort, a lost request just means
        // fewer answers.
        if (int s = m_sock_local; s >= 0) {
            ::sendto(s, request.data(), request.size(), MSG_NOSIGNAL, dest, sizeof to);
        }
        if (int s = m_sock_any; both && s >= 0) {
            ::sendto(s, request.data(), request.size(), MSG_NOSIGNAL, dest, sizeof to);
        }
    }
    std::this_thread::sleep_for(timing().after_search);
}

void BrelkMulEvent::recv_loop() {
    pollfd fds[3] = {{m_sock_local, POLLIN, 0}, {m_sock_any, POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    const int wait_ms = static_cast<int>(timing().recv_wait.count());
    std::vector<ReceivedAnswer> answers;
    answers.reserve(2 * kMaxBatch);
    while (m_active) {
        fds[0].revents = fds[1].revents = 0;
        // A negative descriptor (no eventfd) is ignored by poll.
        if (::poll(fds, 3, wait_ms) <= 0) continue;  // timeout or EINTR: look at m_active again
        // Answers that arrive on both sockets are handed over twice, the bound socket's first.
        // Everything already queued is read first and handed over at once: the intake's work
        // per hand-over (a request to the window) is the same for one answer or hundreds.
        answers.clear();
        if (fds[0].revents & (POLLIN | POLLERR)) on_recv(fds[0].fd, answers);
        if (fds[1].revents & (POLLIN | POLLERR)) on_recv(fds[1].fd, answers);
        hand_over(answers);
    }
    {
        std::lock_guard lock(m_ended_lock);
        m_recv_ended = true;
    }
    m_ended_cv.notify_all();
}

void BrelkMulEvent::on_recv(int sock, std::vector<ReceivedAnswer>& out) {
    for (int i = 0; i < kMaxBatch; ++i) {
        sockaddr_in from{};
        iovec iov{m_recv_buf, kMaxDatagram};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        // MSG_TRUNC makes the result the datagram's real length, so a longer one is recognised
        // and dropped whole instead of being evaluated cut off. MSG_DONTWAIT: read only what is
        // queued (readiness can also be stale, a datagram dropped for a bad checksum), and the
        // loop must never block here.
        ssize_t n = ::recvmsg(sock, &msg, MSG_TRUNC | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more queued, or an error: the loop goes on
        }
        if (n == 0 || static_cast<std::size_t>(n) > kMaxDatagram) continue;
        auto arrived = std::chrono::steady_clock::now();
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                arrived = arrival_of(stamp);
            }
        }
        m_recv_buf[n] = '\0';
        std::optional<DiscoveryAnswer> answer = evaluate_answer(m_recv_buf, static_cast<std::size_t>(n));
        if (answer) out.push_back({std::move(*answer), arrived});
    }
}

void BrelkMulEvent::hand_over(const std::vector<ReceivedAnswer>& answers) {
    if (answers.empty() || !m_owner || !m_active) return;
    const std::string ready = m_ready_text ? m_ready_text() : std::string("Ready");
    m_owner->add_found_devices(answers, ready.c_str());
}

}  // namespace quillon

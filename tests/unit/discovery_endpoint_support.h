// SPDX-License-Identifier: Apache-2.0
#pragma once
// The discovery endpoint's tests: loopback UDP sockets through the platform layer, a sink that
// records what the endpoint hands over, and the fixture with a free port. Every datagram goes
// to 127.0.0.x.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "discovery/brelk_mul_event.h"
#include "platform/ipv4.h"
#include "platform/socket.h"
#include "platform/tcp_service.h"

namespace quillon::test {

using namespace std::chrono_literals;

// The address of a dotted text (127.0.0.x here).
inline Ipv4 at(const char* text) { return *parse_ipv4(text); }

// A port that is free on every loopback address right now.
inline uint16_t free_port() {
    Socket s = open_udp_socket();
    bind_ipv4(s.get(), kIpv4Any, 0);
    return local_port(s.get());
}

inline Socket udp_socket(const char* bind_ip = nullptr, uint16_t port = 0, bool reuse = true) {
    Socket s = open_udp_socket();
    if (reuse) set_reuse_address(s.get());
    if (bind_ip && bind_ipv4(s.get(), at(bind_ip), port) != 0) s.reset();
    return s;
}

inline void send_to(SocketHandle sock, const std::string& bytes, const char* ip, uint16_t port) {
    send_datagram(sock, bytes.data(), bytes.size(), at(ip), port);
}

inline std::string answer_from(const std::string& ip, const char* mac = "00:11:22:33:44:55") {
    DiscoveryAnswer a;
    a.ip = ip;
    a.id = "1019901";
    a.mac = mac;
    a.version = "V2.1";
    return build_answer(a);
}

struct Found {
    std::string ip, id, mac, version, status;
    bool has_ip, has_mac;
};

class RecordingSink : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override {
        if (stop_returned) ++late_calls;
        std::lock_guard lock(m_);
        found_.push_back({ip ? ip : "", id ? id : "", mac ? mac : "", version ? version : "",
                          status ? status : "", ip != nullptr, mac != nullptr});
        cv_.notify_all();
    }
    bool wait_for(std::size_t n, std::chrono::milliseconds deadline = 5s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, deadline, [&] { return found_.size() >= n; });
    }
    std::vector<Found> found() {
        std::lock_guard lock(m_);
        return found_;
    }
    std::atomic<bool> stop_returned{false};
    std::atomic<int> late_calls{0};

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Found> found_;
};

// Reads one datagram within the deadline; nullopt when none came.
struct Received {
    std::string bytes;
    std::string from_ip;
    uint16_t from_port;
};
inline std::optional<Received> receive(SocketHandle sock, std::chrono::milliseconds deadline) {
    SocketWait w;
    w.s = sock;
    if (wait_sockets(&w, 1, deadline) != 1) return std::nullopt;
    char buf[4096];
    Datagram d;
    if (receive_datagram(sock, buf, sizeof buf, d) != 1) return std::nullopt;
    return Received{std::string(buf, std::min(d.length, sizeof buf)), ipv4_text(d.from),
                    d.from_port};
}

class EndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = free_port();
        sender = udp_socket();
    }
    uint16_t port = 0;
    Socket sender;
    RecordingSink sink;
};

}  // namespace quillon::test

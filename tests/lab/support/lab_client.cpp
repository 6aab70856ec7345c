// SPDX-License-Identifier: Apache-2.0
#include "lab_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/wait_until.h"

namespace quillon::labtest {

uint32_t image_crc(const std::vector<uint8_t>& data, uint8_t xor_key, bool xor_flag) {
    uint32_t c = 0;
    for (uint8_t b : data) {
        if (xor_flag) b ^= xor_key;
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0u);
    }
    return c;
}

void set_le32(std::vector<uint8_t>& buf, std::size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) buf[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

Image make_image(std::size_t size, uint32_t seed, uint8_t xor_key, bool xor_flag) {
    Image img;
    img.data.resize(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : img.data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    img.header.assign(kHeaderSize, 0);
    for (std::size_t i = 0; i < 4; ++i)
        img.header[i] = static_cast<uint8_t>(0xA0 + i);  // opaque bytes
    for (std::size_t i = 12; i < 84; ++i) img.header[i] = static_cast<uint8_t>(i);
    for (std::size_t i = 86; i < kHeaderSize; ++i) img.header[i] = static_cast<uint8_t>(255 - i);
    set_le32(img.header, 4, static_cast<uint32_t>(size));
    set_le32(img.header, 8, image_crc(img.data, xor_key, xor_flag));
    img.header[84] = xor_key;
    img.header[85] = xor_flag ? 1 : 0;
    return img;
}

std::string DevRecord::text() const {
    const char* letter = cmd == 1 ? "S" : cmd == 2 ? "B" : cmd == 3 ? "F" : "X";
    return letter + std::to_string(cmd >= 1 && cmd <= 3 ? value : cmd);
}

in_addr addr(const std::string& d) {
    in_addr a{};
    inet_pton(AF_INET, d.c_str(), &a);
    return a;
}

std::string dotted(in_addr a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

ConnectResult UpgradeClient::connect(in_addr a, uint16_t port, std::chrono::milliseconds wait) {
    fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_.valid()) return ConnectResult::error;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = a;
    peer_closed = false;
    short_reads = 0;
    if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno == ECONNREFUSED) return ConnectResult::refused;
        if (errno != EINPROGRESS) return ConnectResult::error;
        pollfd p{fd_.get(), POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(wait.count()));
        if (r == 0) {
            fd_.reset();
            return ConnectResult::timeout;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &len);
        if (err == ECONNREFUSED) return ConnectResult::refused;
        if (err != 0) return ConnectResult::error;
    }
    // Blocking from here on; every wait below goes through poll with a limit.
    ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK);
    timeval tv{10, 0};
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return ConnectResult::connected;
}

bool UpgradeClient::send_all(const uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t s = ::send(fd_.get(), p, n, MSG_NOSIGNAL);
        if (s <= 0) return false;
        p += s;
        n -= static_cast<std::size_t>(s);
    }
    return true;
}

bool UpgradeClient::send_image(const Image& img, std::size_t data_bytes) {
    return send_all(img.header.data(), img.header.size()) && send_all(img.data.data(), data_bytes);
}

std::vector<DevRecord> UpgradeClient::read_until_finish(std::chrono::milliseconds limit) {
    std::vector<DevRecord> out;
    const auto deadline = Clock::now() + limit;
    uint8_t buf[kRecordSize];
    std::size_t have = 0;
    while (Clock::now() < deadline) {
        pollfd p{fd_.get(), POLLIN, 0};
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) continue;
        const ssize_t n = ::recv(fd_.get(), buf + have, kRecordSize - have, 0);
        if (n <= 0) {
            peer_closed = true;
            break;
        }
        if (static_cast<std::size_t>(n) < kRecordSize) ++short_reads;
        have += static_cast<std::size_t>(n);
        if (have < kRecordSize) continue;
        have = 0;
        DevRecord r;
        std::memcpy(&r.cmd, buf, 4);  // little-endian host
        std::memcpy(&r.value, buf + 4, 4);
        out.push_back(r);
        if (r.cmd == 3) break;
    }
    return out;
}

bool UpgradeClient::send_reboot() {
    uint8_t rec[kRecordSize] = {4};
    return send_all(rec, sizeof rec);
}

bool UpgradeClient::wait_closed(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    uint8_t buf[4096];
    while (Clock::now() < deadline) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
    return false;
}

bool UpgradeClient::quiet_for(std::chrono::milliseconds span) {
    pollfd p{fd_.get(), POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, static_cast<int>(span.count())) == 0;
}

bool wait_for_connect_result(in_addr a, uint16_t port, ConnectResult want,
                             std::chrono::milliseconds limit, std::chrono::milliseconds per_try) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        UpgradeClient c;
        const auto started = Clock::now();
        if (c.connect(a, port, per_try) == want) return true;
        // A refused attempt returns at once: do not spin on it.
        const auto spent = Clock::now() - started;
        if (spent < 20ms) std::this_thread::sleep_for(20ms - spent);
    }
    return false;
}

std::vector<Answer> search(in_addr to, uint16_t port, std::chrono::milliseconds window,
                           in_addr bind, uint16_t bind_port, bool broadcast) {
    std::vector<Answer> out;
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return out;
    const int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (broadcast) ::setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = bind;
    local.sin_port = htons(bind_port);
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return out;
    const std::string req = build_search_request();
    sockaddr_in dst{};
    dst.sin_family = AF_INET;
    dst.sin_port = htons(port);
    dst.sin_addr = to;
    if (::sendto(s.get(), req.data(), req.size(), 0, reinterpret_cast<sockaddr*>(&dst),
                 sizeof dst) < 0)
        return out;
    const auto deadline = Clock::now() + window;
    char buf[kMaxDatagram + 1];
    while (Clock::now() < deadline) {
        pollfd p{s.get(), POLLIN, 0};
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) continue;
        sockaddr_in from{};
        socklen_t flen = sizeof from;
        const ssize_t n = ::recvfrom(s.get(), buf, sizeof buf, 0,
                                     reinterpret_cast<sockaddr*>(&from), &flen);
        if (n <= 0) continue;
        if (auto a = evaluate_answer(buf, static_cast<std::size_t>(n)))
            out.push_back({dotted(from.sin_addr), *a});
    }
    return out;
}

uint16_t free_port() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        UniqueFd t(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(t.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) continue;
        socklen_t len = sizeof sa;
        ::getsockname(t.get(), reinterpret_cast<sockaddr*>(&sa), &len);
        // The same number must be free for UDP on the wildcard address too.
        UniqueFd u(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in ua{};
        ua.sin_family = AF_INET;
        ua.sin_port = sa.sin_port;
        if (::bind(u.get(), reinterpret_cast<sockaddr*>(&ua), sizeof ua) == 0)
            return ntohs(sa.sin_port);
    }
    return 0;
}

std::optional<std::string> json_field(const std::string& line, const std::string& key) {
    const std::string pat = "\"" + key + "\":";
    auto pos = line.find(pat);
    if (pos == std::string::npos) return std::nullopt;
    pos += pat.size();
    if (pos >= line.size()) return std::nullopt;
    if (line[pos] == '"') {
        auto end = line.find('"', pos + 1);
        if (end == std::string::npos) return std::nullopt;
        return line.substr(pos + 1, end - pos - 1);
    }
    if (line[pos] == '[') {
        auto end = line.find(']', pos);
        if (end == std::string::npos) return std::nullopt;
        return line.substr(pos, end - pos + 1);
    }
    auto end = line.find_first_of(",}", pos);
    return line.substr(pos, end - pos);
}

std::vector<std::string> record_lines(const std::string& path, const std::string& device) {
    std::vector<std::string> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (json_field(line, "device") == device) out.push_back(line);
    return out;
}

std::vector<std::string> wait_record_lines(const std::string& path, const std::string& device,
                                           std::size_t count, std::chrono::milliseconds limit) {
    std::vector<std::string> lines;
    test::wait_until(
        [&] {
            lines = record_lines(path, device);
            return lines.size() >= count;
        },
        limit);
    return lines;
}

}  // namespace quillon::labtest

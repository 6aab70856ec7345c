// SPDX-License-Identifier: Apache-2.0
#include "upgrade_session.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wire.h"

namespace quillon::devsim {

namespace {

enum class Io { ok, closed, stopped, timeout };

// The connection as the session sees it: blocking reads and writes that give up when the
// simulator stops or when nothing happens for the idle time.
class Conn {
public:
    Conn(int fd, int stop_fd, int idle_ms) : fd_(fd), stop_fd_(stop_fd), idle_ms_(idle_ms) {}

    // Reads up to `len` bytes into `buf`; `got` is set on Io::ok.
    Io read(uint8_t* buf, std::size_t len, std::size_t& got) {
        for (;;) {
            Io w = wait(POLLIN, idle_ms_);
            if (w != Io::ok) return w;
            const ssize_t n = ::recv(fd_, buf, len, MSG_DONTWAIT);
            if (n > 0) {
                got = static_cast<std::size_t>(n);
                return Io::ok;
            }
            if (n == 0) return Io::closed;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return Io::closed;
        }
    }

    Io write(const uint8_t* data, std::size_t len) {
        while (len > 0) {
            Io w = wait(POLLOUT, idle_ms_);
            if (w != Io::ok) return w;
            const ssize_t n = ::send(fd_, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                data += n;
                len -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
            return Io::closed;
        }
        return Io::ok;
    }

    // Waits `ms` unless the simulator stops first.
    Io pause(int ms) {
        pollfd p{stop_fd_, POLLIN, 0};
        int r;
        do {
            r = ::poll(&p, 1, ms);
        } while (r < 0 && errno == EINTR);
        return r > 0 ? Io::stopped : Io::ok;
    }

    // Silent: neither reads nor sends, until the peer goes away or the simulator stops.
    Io hang() {
        pollfd fds[2] = {{fd_, POLLRDHUP, 0}, {stop_fd_, POLLIN, 0}};
        for (;;) {
            const int r = ::poll(fds, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || fds[1].revents) return Io::stopped;
            if (fds[0].revents) return Io::closed;
        }
    }

private:
    Io wait(short events, int ms) {
        pollfd fds[2] = {{fd_, events, 0}, {stop_fd_, POLLIN, 0}};
        for (;;) {
            const int r = ::poll(fds, 2, ms);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || fds[1].revents) return Io::stopped;
            if (r == 0) return Io::timeout;
            return Io::ok;  // readiness, hang-up or error: the following call tells which
        }
    }

    int fd_;
    int stop_fd_;
    int idle_ms_;
};

const char* result_of(Io io) {
    switch (io) {
        case Io::closed: return "closed";
        case Io::stopped: return "aborted";
        case Io::timeout: return "timeout";
        default: return "";
    }
}

std::string to_hex(const uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string peer_of(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return "?";
    return format_ipv4(sa.sin_addr) + ":" + std::to_string(ntohs(sa.sin_port));
}

class Session {
public:
    Session(SessionContext& ctx, std::size_t device, int attempt, UniqueFd conn)
        : ctx_(ctx),
          index_(device),
          spec_(ctx.state.fleet().devices()[device]),
          faults_(spec_.faults.on_attempt(attempt)),
          fd_(std::move(conn)),
          conn_(fd_.get(), ctx.stop_fd, ctx.options.idle_timeout_ms),
          attempt_(attempt) {}

    std::string run() {
        rec_.device = spec_.ip;
        rec_.peer = peer_of(fd_.get());
        rec_.attempt = attempt_;
        rec_.checksum = "none";
        if (faults_.split) {
            const int one = 1;
            ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        rec_.result = exchange();
        ctx_.log.write(rec_);
        if (ctx_.options.verbose)
            std::fprintf(stderr, "quillon-devsim: %s <- %s: %s, %llu of %u bytes%s\n",
                         spec_.ip.c_str(), rec_.peer.c_str(), rec_.result.c_str(),
                         static_cast<unsigned long long>(rec_.received), rec_.length,
                         rec_.reboot_records ? ", reboot" : "");
        return rec_.result;
    }

private:
    // Sends one record the way this device does (junk first, byte by byte when split).
    Io send_record(uint32_t cmd, uint32_t value) {
        if (faults_.junk) {
            if (Io io = send_raw(make_record(kCmdJunk, 0xDEADBEEF)); io != Io::ok) return io;
            rec_.sent.push_back(std::string("X").append(std::to_string(kCmdJunk)));
        }
        if (Io io = send_raw(make_record(cmd, value)); io != Io::ok) return io;
        static const char letters[] = "?SBF";
        rec_.sent.push_back(
            std::string(1, cmd < 4 ? letters[cmd] : 'X').append(std::to_string(value)));
        return Io::ok;
    }

    Io send_raw(const Record& r) {
        if (!faults_.split) return conn_.write(r.data(), r.size());
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (Io io = conn_.write(&r[i], 1); io != Io::ok) return io;
            if (i + 1 < r.size())
                if (Io io = conn_.pause(ctx_.options.split_pause_ms); io != Io::ok) return io;
        }
        return Io::ok;
    }

    std::string exchange() {
        uint8_t header[kHeaderSize];
        std::size_t have = 0;
        while (have < kHeaderSize) {
            std::size_t got = 0;
            Io io = conn_.read(header + have, kHeaderSize - have, got);
            if (io != Io::ok) {
                rec_.header_hex = to_hex(header, have);
                return result_of(io);
            }
            have += got;
        }
        rec_.header_hex = to_hex(header, kHeaderSize);
        const HeaderFields hf = parse_header(header);
        rec_.length = hf.length;
        rec_.header_crc = hf.crc;

        if (hf.length == 0 || hf.length > ctx_.options.max_image_bytes) {
            rec_.reason = "length";
            Io io = send_record(kCmdFinish, 0);
            return io == Io::ok ? "failed" : result_of(io);
        }

        if (std::string r = receive_image(hf); !r.empty()) return r;

        const int burn_ms = faults_.burn_ms.value_or(ctx_.options.burn_ms);
        for (uint32_t p = 0; p <= 100; p += 10) {
            if (Io io = send_record(kCmdBurn, p); io != Io::ok) return result_of(io);
            if (p < 100 && burn_ms > 0)
                if (Io io = conn_.pause(burn_ms / 10); io != Io::ok) return result_of(io);
        }

        uint32_t value = 1;
        if (rec_.checksum != "ok") {
            value = 0, rec_.reason = "checksum";
        } else if (faults_.fail) {
            value = 0, rec_.reason = "fault";
        } else if (rec_.attempt <= faults_.fail_first) {
            value = 0, rec_.reason = "fail-first";
        }
        if (Io io = send_record(kCmdFinish, value); io != Io::ok) return result_of(io);
        if (value) ctx_.state.image_written(index_);
        const std::string result = value ? "success" : "failed";
        after_finish();
        return result;
    }

    // Reads the image data; an empty text when all of it came, else the connection's result.
    std::string receive_image(const HeaderFields& hf) {
        ImageChecksum sum(hf.xor_key, hf.xor_flag != 0);
        uLong digest = crc32(0L, Z_NULL, 0);
        std::vector<uint8_t> buf(65536);
        uint32_t next_percent = 10;
        auto stop_here = [&]() -> std::string {
            if (faults_.hang_after && rec_.received >= *faults_.hang_after) {
                Io io = conn_.hang();
                return io == Io::stopped ? "aborted" : "hung";
            }
            if (faults_.drop_after && rec_.received >= *faults_.drop_after) return "dropped";
            return {};
        };
        while (rec_.received < hf.length) {
            if (std::string r = stop_here(); !r.empty()) return r;
            uint64_t want = std::min<uint64_t>(buf.size(), hf.length - rec_.received);
            // Never read past the byte at which a fault strikes.
            if (faults_.hang_after && *faults_.hang_after > rec_.received)
                want = std::min<uint64_t>(want, *faults_.hang_after - rec_.received);
            if (faults_.drop_after && *faults_.drop_after > rec_.received)
                want = std::min<uint64_t>(want, *faults_.drop_after - rec_.received);
            std::size_t got = 0;
            if (Io io = conn_.read(buf.data(), want, got); io != Io::ok) {
                finish_digest(sum, digest, hf);
                return result_of(io);
            }
            sum.update(buf.data(), got);
            digest = crc32(digest, buf.data(), static_cast<uInt>(got));
            rec_.received += got;
            rec_.digest = static_cast<uint32_t>(digest);
            while (next_percent <= 100 &&
                   rec_.received * 100 >= uint64_t(next_percent) * hf.length) {
                if (Io io = send_record(kCmdSend, next_percent); io != Io::ok) {
                    finish_digest(sum, digest, hf);
                    return result_of(io);
                }
                next_percent += 10;
            }
        }
        finish_digest(sum, digest, hf);
        return stop_here();
    }

    void finish_digest(const ImageChecksum& sum, uLong digest, const HeaderFields& hf) {
        rec_.digest = static_cast<uint32_t>(digest);
        rec_.computed_crc = sum.value();
        if (rec_.received == hf.length) rec_.checksum = sum.value() == hf.crc ? "ok" : "bad";
    }

    // After F: records from the tool until it closes; a reboot record takes the device away.
    void after_finish() {
        Record r{};
        std::size_t have = 0;
        for (;;) {
            std::size_t got = 0;
            if (conn_.read(r.data() + have, r.size() - have, got) != Io::ok) return;
            have += got;
            if (have < r.size()) continue;
            have = 0;
            if (get_le32(r.data()) != kCmdReboot) {
                ++rec_.other_records;
                continue;
            }
            ++rec_.reboot_records;
            ctx_.state.reboot(index_, Clock::now(),
                              std::chrono::milliseconds(
                                  faults_.reboot_ms.value_or(ctx_.options.reboot_ms)));
            // Port closed first, connection second: whoever sees the connection end finds the
            // device already away.
            if (ctx_.on_reboot) ctx_.on_reboot();
            fd_.reset();
            return;
        }
    }

    SessionContext& ctx_;
    std::size_t index_;
    const DeviceSpec& spec_;
    const Faults faults_;  // as they act on this connection
    UniqueFd fd_;
    Conn conn_;
    int attempt_;
    ConnectionRecord rec_;
};

}  // namespace

std::string run_session(SessionContext& ctx, std::size_t device, int attempt, UniqueFd conn) {
    Session s(ctx, device, attempt, std::move(conn));
    return s.run();
}

void refuse_session(SessionContext& ctx, std::size_t device, int attempt, UniqueFd conn) {
    ConnectionRecord rec;
    rec.device = ctx.state.fleet().devices()[device].ip;
    rec.peer = peer_of(conn.get());
    rec.attempt = attempt;
    rec.checksum = "none";
    rec.result = "refused";
    // No lingering: the tool gets a reset, the nearest a port that is open can come to a refusal.
    linger l{1, 0};
    ::setsockopt(conn.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    conn.reset();
    ctx.log.write(rec);
    if (ctx.options.verbose)
        std::fprintf(stderr, "quillon-devsim: %s <- %s: refused (connection %d)\n",
                     rec.device.c_str(), rec.peer.c_str(), attempt);
}

}  // namespace quillon::devsim

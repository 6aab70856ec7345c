// SPDX-License-Identifier: Apache-2.0
#pragma once
// One ICMP echo request and the wait for its reply. Windows: IcmpSendEcho, which needs no
// privilege. Linux: an unprivileged ICMP datagram socket where net.ipv4.ping_group_range admits
// the process's group, else a raw ICMP socket, which needs the capability CAP_NET_RAW.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

inline constexpr std::size_t kEchoReplyBufferSize = 1024;

struct EchoResult {
    enum Outcome {
        reply,          // an echo reply from the target
        error_reply,    // an ICMP error about our request (unreachable, time exceeded): see status
        no_reply,       // nothing within the wait, or the request could not be sent: see error
        no_socket,      // neither socket is allowed here (no capability, no protocol): see error
        socket_failed,  // the socket could not be opened for want of resources (descriptors,
                        // buffers): see error; this request only
    };
    Outcome outcome = no_reply;
    // error_reply: Linux (ICMP type << 8) | code; Windows the reply's IP_STATUS
    // (IP_DEST_HOST_UNREACHABLE, ...).
    int status = 0;
    // no_reply: Linux errno, ETIMEDOUT when the wait passed; Windows GetLastError of IcmpSendEcho
    // (IP_REQ_TIMED_OUT when the wait passed). no_socket, socket_failed: errno of the raw socket,
    // or GetLastError of IcmpCreateFile.
    int error = 0;
};

// Sends one echo request with `payload` (at most 512 bytes) to `target` (an IPv4 address in
// network byte order, as in_addr::s_addr holds it) and waits up to `wait` for its reply. Opens
// and closes its socket or handle; callable from any thread.
EchoResult icmp_echo(uint32_t target, const void* payload, std::size_t len,
                     std::chrono::milliseconds wait);

// The system's text for EchoResult::error.
std::string echo_error_text(int error);

// What a received ICMP packet means for the request (id, seq), where echo goes over a socket:
// `with_ip_header` for raw sockets, `id` < 0 when the kernel already matched the id (datagram
// sockets).
enum class EchoPacket { other, reply, error_reply };
EchoPacket classify_echo_packet(const uint8_t* buf, std::size_t len, bool with_ip_header, int id,
                                uint16_t seq, int* status);

// The Internet checksum (RFC 1071) over `len` bytes.
uint16_t internet_checksum(const uint8_t* data, std::size_t len);

}  // namespace quillon

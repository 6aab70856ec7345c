// SPDX-License-Identifier: Apache-2.0
// The serving side of TCP on Windows: Winsock 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/tcp_service.h"

namespace quillon {
namespace {

SOCKET sock_of(SocketHandle s) { return static_cast<SOCKET>(s); }

}  // namespace

int listen_on(SocketHandle s, int backlog) {
    return ::listen(sock_of(s), backlog) == 0 ? 0 : last_socket_error();
}

Socket accept_connection(SocketHandle listener) {
    const SOCKET c = ::accept(sock_of(listener), nullptr, nullptr);
    if (c == INVALID_SOCKET) return Socket();
    Socket s(static_cast<SocketHandle>(c));
    // An accepted socket takes the listener's modes: non-blocking and, made by WSASocketW with
    // WSA_FLAG_NO_HANDLE_INHERIT, not inherited. It is handed out blocking, as on Linux.
    u_long off = 0;
    if (::ioctlsocket(c, FIONBIO, &off) != 0) s.reset();
    ::SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
    return s;
}

uint16_t local_port(SocketHandle s) {
    sockaddr_in a{};
    int len = sizeof a;
    if (::getsockname(sock_of(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

void set_no_delay(SocketHandle s) {
    const BOOL one = TRUE;
    ::setsockopt(sock_of(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
}

void set_buffer_sizes(SocketHandle s, int receive_bytes, int send_bytes) {
    if (receive_bytes > 0)
        ::setsockopt(sock_of(s), SOL_SOCKET, SO_RCVBUF,
                     reinterpret_cast<const char*>(&receive_bytes), sizeof receive_bytes);
    if (send_bytes > 0)
        ::setsockopt(sock_of(s), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&send_bytes),
                     sizeof send_bytes);
}

bool is_connection_reset(int code) { return code == WSAECONNRESET; }

}  // namespace quillon

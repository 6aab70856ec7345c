// SPDX-License-Identifier: Apache-2.0
// The serving side of TCP on Linux.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/tcp_service.h"

namespace quillon {

int listen_on(SocketHandle s, int backlog) {
    return ::listen(static_cast<int>(s), backlog) == 0 ? 0 : last_socket_error();
}

Socket accept_connection(SocketHandle listener) {
    return Socket(::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC));
}

uint16_t local_port(SocketHandle s) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

void set_no_delay(SocketHandle s) {
    const int one = 1;
    ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void set_buffer_sizes(SocketHandle s, int receive_bytes, int send_bytes) {
    if (receive_bytes > 0)
        ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVBUF, &receive_bytes,
                     sizeof receive_bytes);
    if (send_bytes > 0)
        ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDBUF, &send_bytes, sizeof send_bytes);
}

bool is_connection_reset(int code) { return code == ECONNRESET; }

}  // namespace quillon

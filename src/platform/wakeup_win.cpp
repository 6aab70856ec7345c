// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>

#include "platform/wakeup.h"

namespace quillon {

// A UDP socket on 127.0.0.1 connected to its own address: a datagram it sends to itself makes it
// readable. Nothing leaves the machine.
Wakeup::Wakeup() {
    Socket s = open_udp_socket();
    if (!s.valid()) return;
    const SOCKET sock = static_cast<SOCKET>(s.get());
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof self;
    u_long on = 1;
    if (::bind(sock, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&self), &len) != 0 ||
        ::connect(sock, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 ||
        ::ioctlsocket(sock, FIONBIO, &on) != 0) {
        return;
    }
    handle_ = s.release();
}

Wakeup::~Wakeup() { close_socket(handle_); }

void Wakeup::signal() {
    if (!valid()) return;
    const char one = 1;
    ::send(static_cast<SOCKET>(handle_), &one, 1, 0);
}

void Wakeup::clear() {
    if (!valid()) return;
    char buf[16];
    while (::recv(static_cast<SOCKET>(handle_), buf, sizeof buf, 0) > 0) {}
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/port_claim.h"

namespace quillon {

PortClaim::~PortClaim() { release(); }

void PortClaim::claim(Ipv4 addr, uint16_t port, bool& busy) {
    release();
    busy = false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const std::string name = "quillon-discovery-" + ipv4_text(addr) + ":" + std::to_string(port);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), len) != 0) {
        busy = errno == EADDRINUSE;
        ::close(fd);
        return;
    }
    handle_ = fd;
    held_ = true;
}

void PortClaim::release() {
    if (held_) ::close(int(handle_));
    held_ = false;
}

}  // namespace quillon

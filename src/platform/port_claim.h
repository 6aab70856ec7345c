// SPDX-License-Identifier: Apache-2.0
#pragma once
// One Quillon program per address and port: the discovery sockets share their port with
// SO_REUSEADDR, which would let a second Quillon program bind it too; the system then hands each
// answer sent to the address to one of the two programs only, and the other one lists nothing
// and misses address conflicts. So the program claims the address and port first.
// Linux: a name in the abstract Unix socket namespace (one per network namespace). Windows: a
// named mutex per address and port. Both go when the process ends, however it ends.
#include <cstdint>

#include "platform/ipv4.h"

namespace quillon {

class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // Claims addr:port. `busy` tells that another program holds it; a failure of any other kind
    // leaves the port unclaimed (held() false) and the caller working as before.
    void claim(Ipv4 addr, uint16_t port, bool& busy);
    void release();
    bool held() const { return held_; }

private:
    bool held_ = false;
    std::intptr_t handle_ = 0;  // the socket (Linux) or the mutex (Windows)
};

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the main window asks of device discovery. The desktop program links it to BrelkMulEvent;
// window tests link it to a recorder, so that they never send a search from the machine.
#include "platform/ipv4.h"

namespace quillon {

class DiscoveryLink {
public:
    virtual ~DiscoveryLink() = default;
    // One search request to `target`, or broadcast when null; `both` adds the wildcard socket.
    virtual void search(int both, const char* target = nullptr) = 0;
    // Stops the receive thread, closes both sockets and sets discovery up again on `bind_addr`.
    virtual int restart(Ipv4 bind_addr) = 0;
};

}  // namespace quillon

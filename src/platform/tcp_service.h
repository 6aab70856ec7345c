// SPDX-License-Identifier: Apache-2.0
#pragma once
// The serving side of TCP on either system: a socket that listens, the connections it accepts,
// and the options a peer sets on them. The programs only connect; the device simulator and the
// tests' fake devices serve.
#include <cstdint>

#include "platform/socket.h"

namespace quillon {

// Starts listening on the bound (or unbound: any port of every address) TCP socket `s` with a
// queue of `backlog` connections: 0, or the error code.
int listen_on(SocketHandle s, int backlog);
// The next connection waiting on the listening socket `listener`, in blocking mode and not
// inherited by programs started later; invalid when none waits or it failed.
Socket accept_connection(SocketHandle listener);
// The local port of a bound socket; 0 when it has none.
uint16_t local_port(SocketHandle s);
// Sends small writes at once instead of gathering them (TCP_NODELAY).
void set_no_delay(SocketHandle s);
// Asks for a receive and a send buffer of the given sizes; 0 leaves that one as it is. A
// listening socket hands its sizes on to the connections it accepts.
void set_buffer_sizes(SocketHandle s, int receive_bytes, int send_bytes);

// Whether the error code `code` is a connection reset by the peer.
bool is_connection_reset(int code);

}  // namespace quillon

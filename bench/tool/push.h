// SPDX-License-Identifier: Apache-2.0
#pragma once
// One image pushed to one device, two ways, timed from the start of the connection to the
// device's F record: through the engine's own exchange (process_one, with the conflict check's
// waits taken out), and through a plain TCP client that sends the header and the data with
// blocking sends and nothing else. The pair says what the exchange costs over the bare socket.
#include <cstdint>
#include <string>

namespace quillon::bench {

struct PushTarget {
    std::string ip;
    uint16_t port = 9800;
    std::string image;  // an image file: data and trailer
};

// Seconds, or a negative value when the push failed (`why` says how).
double push_reference(const PushTarget& t, std::string& why);
double push_engine(const PushTarget& t, std::string& why);

}  // namespace quillon::bench

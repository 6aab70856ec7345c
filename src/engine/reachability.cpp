// SPDX-License-Identifier: Apache-2.0
// The reachability probe of range mode: one ICMP echo request per address.
#include <cerrno>
#include <cstdio>

#include "engine/upgrade_engine.h"
#include "log/debug_line.h"
#include "platform/icmp_echo.h"
#include "platform/ipv4.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

// "Data buffer" followed by 21 zero bytes.
constexpr char kEchoPayload[32] = "Data buffer";

}  // namespace

const char* UpgradeEngine::echo_unavailable_text() {
    return T(TextId::msg_echo_unavailable).c_str();
}

int UpgradeEngine::ping_device(const std::string& ip) {
    // Only the address of one host: the probe is never sent to the wildcard or broadcast address.
    const std::optional<Ipv4> target = parse_ipv4(ip);
    if (!target || *target == kIpv4Any || *target == kIpv4Broadcast) {
        std::fprintf(stderr, "Ping request failed. GetLastError: %d\n", EINVAL);
        debug_line("Device is unreachable.\n");
        return 0;
    }

    const EchoResult r = icmp_echo(target->net, kEchoPayload, sizeof kEchoPayload,
                                   timing().echo_wait);
    switch (r.outcome) {
        case EchoResult::no_socket:
            std::fprintf(stderr, "Unable to open handle for ICMP.\n");
            debug_line("Device is unreachable.\n");
            // Every further address would fail the same way: say once what is missing, and let the
            // caller tell the user instead of listing every address as unreachable.
            if (m_echo_unavailable.exchange(1) == 0)
                std::fprintf(stderr, "%s (%s)\n", echo_unavailable_text(),
                             echo_error_text(r.error).c_str());
            return -1;
        case EchoResult::socket_failed:
            // Out of descriptors or buffers for a moment: this address is not answered, the scan
            // goes on.
            std::fprintf(stderr, "Unable to open handle for ICMP.\n");
            std::fprintf(stderr, "Ping request failed. GetLastError: %d\n", r.error);
            debug_line("Device is unreachable.\n");
            return 0;
        case EchoResult::no_reply:
            std::fprintf(stderr, "Ping request failed. GetLastError: %d\n", r.error);
            debug_line("Device is unreachable.\n");
            return 0;
        case EchoResult::error_reply:
            std::fprintf(stderr, "Ping failed with status code: %d\n", r.status);
            debug_line("Device is unreachable.\n");
            return 0;
        case EchoResult::reply: break;
    }
    debug_line("Ping to %s succeeded!\n", ip.c_str());
    debug_line("Device is reachable.\n");
    return 1;
}

}  // namespace quillon

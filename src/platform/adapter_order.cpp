// SPDX-License-Identifier: Apache-2.0
#include "platform/adapter_order.h"

#include <array>

namespace quillon {
namespace {

// Name prefixes of interfaces that are no site network: Linux names first, then the friendly
// names Windows gives the same kinds of adapter (Hyper-V's "vEthernet" is caught by "veth").
constexpr std::array<std::string_view, 10> kVirtualPrefixes = {"docker",
                                                               "virbr",
                                                               "veth",
                                                               "br-",
                                                               "vmnet",
                                                               "vboxnet",
                                                               "tailscale",
                                                               "wg",
                                                               "VirtualBox Host-Only",
                                                               "VMware Network Adapter"};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i])) return false;
    return true;
}

}  // namespace

bool is_virtual_adapter_name(std::string_view name) {
    for (std::string_view p : kVirtualPrefixes)
        if (starts_with_nocase(name, p)) return true;
    return false;
}

int adapter_rank(std::string_view name, bool up, bool loopback) {
    if (loopback) return 3;
    if (!up) return 2;
    return is_virtual_adapter_name(name) ? 1 : 0;
}

}  // namespace quillon

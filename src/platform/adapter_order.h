// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which adapter comes first: the one most likely to be the site's network. Used wherever the
// program lists adapters or picks one by itself (the desktop program's adapter box and its
// start-up search, quillon-cli's default adapter and `adapters`). Pure: no system call.
#include <algorithm>
#include <string_view>
#include <vector>

namespace quillon {

// True for the names of virtual bridges, container and VPN interfaces (docker*, virbr*, veth*,
// br-*, vmnet*, vboxnet*, tailscale*, wg*, and the Windows names of the same adapters), compared
// without regard to ASCII case: Windows names its adapters "vEthernet (WSL)" or "Tailscale".
bool is_virtual_adapter_name(std::string_view name);

// The group an adapter belongs to, first group first: 0 up and real, 1 up and virtual, 2 not up,
// 3 loopback.
int adapter_rank(std::string_view name, bool up, bool loopback);

// Puts `adapters` (anything with `name`, `up` and `loopback` members) in that order, keeping the
// system's order within each group.
template <class T>
void order_adapters(std::vector<T>& adapters) {
    std::stable_sort(adapters.begin(), adapters.end(), [](const T& a, const T& b) {
        return adapter_rank(a.name, a.up, a.loopback) < adapter_rank(b.name, b.up, b.loopback);
    });
}

}  // namespace quillon

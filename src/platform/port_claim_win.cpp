// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <string>

#include "platform/port_claim.h"
#include "platform/utf16_win.h"

namespace quillon {

PortClaim::~PortClaim() { release(); }

void PortClaim::claim(Ipv4 addr, uint16_t port, bool& busy) {
    release();
    busy = false;
    // The machine-wide namespace: the programs of every user signed in share the adapters.
    const std::wstring name = widen("Global\\quillon-discovery-" + ipv4_text(addr) + ":" +
                                    std::to_string(port));
    HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD err = ::GetLastError();
    if (!h) {
        // Another user's program holds a mutex of that name that we may not open.
        busy = err == ERROR_ACCESS_DENIED;
        return;
    }
    if (err == ERROR_ALREADY_EXISTS) {
        busy = true;
        ::CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    held_ = true;
}

void PortClaim::release() {
    if (held_) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    held_ = false;
}

}  // namespace quillon

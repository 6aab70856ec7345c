// SPDX-License-Identifier: Apache-2.0
#include "platform/icmp_echo.h"

// winsock2.h before windows.h, and the IP Helper headers after both.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include "platform/utf16_win.h"

namespace quillon {
namespace {

constexpr std::size_t kMaxPayload = 512;

// The errors of IcmpCreateFile that say handles or memory are short for the moment, as opposed
// to ICMP being unavailable here.
bool means_no_resources(DWORD err) {
    return err == ERROR_NOT_ENOUGH_MEMORY || err == ERROR_OUTOFMEMORY ||
           err == ERROR_NO_SYSTEM_RESOURCES || err == ERROR_TOO_MANY_OPEN_FILES ||
           err == ERROR_NOT_ENOUGH_QUOTA || err == WSAENOBUFS || err == WSAEMFILE;
}

class IcmpHandle {
public:
    IcmpHandle() : h_(::IcmpCreateFile()) {}
    ~IcmpHandle() {
        if (valid()) ::IcmpCloseHandle(h_);
    }
    IcmpHandle(const IcmpHandle&) = delete;
    IcmpHandle& operator=(const IcmpHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

EchoResult icmp_echo(uint32_t target, const void* payload, std::size_t len,
                     std::chrono::milliseconds wait) {
    EchoResult result;
    if (len > kMaxPayload) {
        result.error = ERROR_INVALID_PARAMETER;
        return result;
    }
    IcmpHandle icmp;
    if (!icmp.valid()) {
        result.error = int(::GetLastError());
        result.outcome = means_no_resources(DWORD(result.error)) ? EchoResult::socket_failed
                                                                 : EchoResult::no_socket;
        return result;
    }
    // The reply buffer holds the reply structure, the echoed data, and room for an ICMP error
    // message; 1024 bytes hold all three for any payload we send.
    static_assert(kEchoReplyBufferSize >= sizeof(ICMP_ECHO_REPLY) + kMaxPayload + 8 + 16);
    alignas(ICMP_ECHO_REPLY) unsigned char reply[kEchoReplyBufferSize];
    const long long ms = wait.count() < 0 ? 0 : wait.count();
    const DWORD timeout = ms > 0x7FFFFFFF ? DWORD(0x7FFFFFFF) : DWORD(ms);
    const DWORD replies = ::IcmpSendEcho(icmp.get(), IPAddr(target), const_cast<void*>(payload),
                                         WORD(len), nullptr, reply, DWORD(sizeof reply), timeout);
    if (replies == 0) {
        result.outcome = EchoResult::no_reply;
        result.error = int(::GetLastError());
        return result;
    }
    const auto* first = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
    if (first->Status != IP_SUCCESS) {
        result.outcome = EchoResult::error_reply;
        result.status = int(first->Status);
        return result;
    }
    result.outcome = EchoResult::reply;
    return result;
}

std::string echo_error_text(int error) {
    return win32_error_text(static_cast<unsigned long>(error));
}

}  // namespace quillon

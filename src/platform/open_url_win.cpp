// SPDX-License-Identifier: Apache-2.0
#include "platform/open_url.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/utf16_win.h"

namespace quillon {
namespace {

// Some shell handlers are COM objects; ShellExecuteW wants COM started on the calling thread.
class ComScope {
public:
    ComScope()
        : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;  // S_FALSE (already started here) also needs its CoUninitialize
};

}  // namespace

int open_url(const std::string& url) {
    if (!url_may_be_opened(url)) return -1;
    // A file URL is handed over as the path it names: the shell's own reading of percent
    // escapes in file URLs is not UTF-8.
    const std::string target = url.size() >= 7 && (url[0] == 'f' || url[0] == 'F')
                                   ? file_url_path(url, true)
                                   : url;
    std::wstring wide;
    if (target.empty() || !utf8_to_utf16(target, wide)) return -1;
    ComScope com;
    const auto r = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32 ? 0 : -1;
}

}  // namespace quillon

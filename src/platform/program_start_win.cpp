// SPDX-License-Identifier: Apache-2.0
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/utf16_win.h"

namespace quillon {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    prepare_console();
    int n = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!wide) return std::vector<std::string>(argv, argv + (argc > 0 ? argc : 0));
    std::unique_ptr<LPWSTR, decltype(&::LocalFree)> owned(wide, &::LocalFree);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(narrow(wide[i]));
    return out;
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include <windows.h>
#include <io.h>

#include "platform/console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace quillon {
namespace {

HANDLE handle_of(int fd) {
    const intptr_t h = ::_get_osfhandle(fd);
    return h == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h);
}

}  // namespace

void prepare_console() { ::SetConsoleOutputCP(CP_UTF8); }

// _isatty is also true for NUL and other character devices: a console is what has a mode.
bool is_terminal(int fd) {
    DWORD mode = 0;
    const HANDLE h = handle_of(fd);
    return h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) != 0;
}

bool supports_live_display(int fd) {
    DWORD mode = 0;
    const HANDLE h = handle_of(fd);
    if (h == INVALID_HANDLE_VALUE || !::GetConsoleMode(h, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    // Older consoles refuse the mode: the display then writes plain lines.
    return ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminal_width(int fd) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = handle_of(fd);
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleScreenBufferInfo(h, &info)) {
        const int cols = info.srWindow.Right - info.srWindow.Left + 1;
        if (cols > 0) return cols;
    }
    return 80;
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console.h"

namespace quillon {

void prepare_console() { ::signal(SIGPIPE, SIG_IGN); }

bool is_terminal(int fd) { return ::isatty(fd) != 0; }

bool supports_live_display(int fd) { return is_terminal(fd); }

int terminal_width(int fd) {
    winsize ws{};
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

}  // namespace quillon

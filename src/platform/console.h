// SPDX-License-Identifier: Apache-2.0
#pragma once
// The terminal the headless program writes to. Windows: the console gets UTF-8 output
// (SetConsoleOutputCP) and, where it supports them, virtual-terminal sequences
// (ENABLE_VIRTUAL_TERMINAL_PROCESSING), which the live progress display redraws with.
// Linux: terminals take both already.

namespace quillon {

// Once at start: UTF-8 output on the console, and writing to a pipe whose reader has gone is an
// error of that write, not the end of the program (SIGPIPE ignored on Linux).
void prepare_console();

// Whether `fd` is a terminal (a console on Windows; not a file, pipe or NUL).
bool is_terminal(int fd);

// Whether the terminal on `fd` takes the cursor movements of the live display: a terminal on
// Linux; a console that accepts virtual-terminal processing on Windows (asked for here).
bool supports_live_display(int fd);

// Columns of the terminal on `fd`; 80 when it cannot be told.
int terminal_width(int fd);

}  // namespace quillon

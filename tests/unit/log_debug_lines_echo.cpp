// SPDX-License-Identifier: Apache-2.0
// Writes diagnostic lines as the desktop program does: the engine's own (a connection to an
// address that is none) and lines from another thread, to standard output, or with
// "--debug-log DIR" into a debug log in DIR. The debug-line tests read both byte for byte.
#include <string>
#include <thread>

#include "engine/engine_internals.h"
#include "log/debug_line.h"
#include "log/debug_log.h"

int main(int argc, char** argv) {
    using namespace quillon;
    DebugLog log;
    if (argc == 3 && std::string(argv[1]) == "--debug-log" && log.start(argv[2]).empty()) return 3;
    EngineInternals engine;
    engine.connect_device("abc", 0, 0, 0);
    std::thread([] { debug_line("process thread %d\n", 2); }).join();
    debug_line("%s, i=%d, \n", "198.18.0.10", 1);
    debug_line("%s", std::string(5000, 'x').c_str());
    debug_line("\n");
    return 0;
}

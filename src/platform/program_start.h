// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a program does first: the socket library for its whole life (WSAStartup on Windows), and
// its command line in UTF-8. Windows hands main() the arguments in the ANSI code page, where a
// folder such as "固件 v2" would arrive as question marks; the wide command line is read instead,
// and the console is set to UTF-8 output. Linux: the arguments as they are.
#include <string>
#include <vector>

#include "platform/socket.h"

namespace quillon {

class ProgramStart {
public:
    ProgramStart(int argc, char** argv);
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // The arguments in UTF-8, as main() takes them; valid while this object lives.
    int argc() const { return int(args_.size()); }
    char** argv() { return pointers_.data(); }

private:
    SocketLibrary sockets_;
    std::vector<std::string> args_;
    std::vector<char*> pointers_;  // into args_, with a null at the end
};

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include "platform/program_start.h"

namespace quillon {

// The system's own part (program_start_posix.cpp, program_start_win.cpp).
std::vector<std::string> utf8_arguments(int argc, char** argv);

ProgramStart::ProgramStart(int argc, char** argv) : args_(utf8_arguments(argc, argv)) {
    for (std::string& a : args_) pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
}

}  // namespace quillon

// SPDX-License-Identifier: Apache-2.0
#include <string>
#include <vector>

namespace quillon {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + (argc > 0 ? argc : 0));
}

}  // namespace quillon

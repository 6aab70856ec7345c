// SPDX-License-Identifier: Apache-2.0
// The desktop program.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/qt/quillon_app.h"
#include "quillon_version.h"

namespace {

constexpr const char* kHelp =
    "Upgrades the firmware of a building's intercom devices at once.\n"
    "Usage: quillon [OPTIONS]\n"
    "\n"
    "Options:\n"
    "  -h,--help                   Print this help message and exit\n"
    "  --version                   Display program version information and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
    "config.ini is read from the working directory; the logs go to its folder \"log\".\n";

// --help and --version are answered before the window system is touched, so that they work
// without a display (a terminal over ssh, a package check). Returns -1 to go on starting.
int answer_info_option(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillon %s\n", quillon::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int rc = answer_info_option(argc, argv); rc >= 0) return rc;
    QApplication qapp(argc, argv);
    quillon::CQuillonApp app;
    if (app.init_instance() != 0) return 1;
    const int rc = app.run();  // EXIT during a batch ends the process inside run
    std::fflush(nullptr);
    return rc;
}

// The desktop program.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/qt/quillon_app.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    quillon::CQuillonApp app;
    if (app.init_instance() != 0) return 1;
    const int rc = app.run();  // EXIT during a batch ends the process inside run
    std::fflush(nullptr);
    return rc;
}

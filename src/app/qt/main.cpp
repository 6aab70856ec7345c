// The desktop program.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/qt/quillon_app.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    quillon::CQuillonApp app;
    if (app.init_instance() != 0) return 1;
    const int rc = app.run();
    // The batch driver waits for the next batch for as long as the process lives; the program
    // ends here, with every log flushed, rather than waiting for it.
    std::fflush(nullptr);
    std::_Exit(rc);
}

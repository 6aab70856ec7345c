// SPDX-License-Identifier: Apache-2.0
// One QApplication for every window test, offscreen; every wait serves the window's events.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

#include "window_fixture.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    quillon::test::set_wait_step(quillon::test::serve_window_events);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

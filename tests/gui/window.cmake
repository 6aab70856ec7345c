# SPDX-License-Identifier: Apache-2.0
# Window tests: the real main window, offscreen, driven by control number.
if(NOT TARGET quillon_window_qt)
  return()
endif()
file(GLOB window_gui_test_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/window_*_test.cpp)
add_executable(quillon_window_gui_tests ${window_gui_test_srcs} ${CMAKE_CURRENT_LIST_DIR}/window_test_main.cpp)
target_link_libraries(quillon_window_gui_tests PRIVATE quillon_test_support)
set_target_properties(quillon_window_gui_tests PROPERTIES AUTOMOC ON)
target_link_libraries(quillon_window_gui_tests PRIVATE quillon_window_qt Qt6::Test GTest::gtest Threads::Threads PkgConfig::MINIZIP)
# Its own precompiled headers: the Qt programs build position-independent, which a header
# compiled for the other test programs does not fit.
target_precompile_headers(quillon_window_gui_tests PRIVATE <gtest/gtest.h> <QApplication> <QTest>
  <QTableView> <QCheckBox> <QComboBox> <QLabel> <QLineEdit> <QProgressBar> <QPushButton>)
if(TARGET quillon_app_qt)
  target_link_libraries(quillon_window_gui_tests PRIVATE quillon_app_qt)
  target_compile_definitions(quillon_window_gui_tests PRIVATE QUILLON_HAVE_DESKTOP=1)
endif()
gtest_discover_tests(quillon_window_gui_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS gui ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/tsan.supp:die_after_fork=0")

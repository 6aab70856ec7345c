# SPDX-License-Identifier: Apache-2.0
# The desktop program in the network lab: window_lab_test (offscreen) drives the real window,
# discovery and engine against the simulator's fleet.
if(NOT TARGET quillon_app_qt OR NOT TARGET quillon-mkimage)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)

add_executable(window_lab_test ${CMAKE_CURRENT_LIST_DIR}/window_lab_test.cpp)
target_link_libraries(window_lab_test PRIVATE quillon_test_support)
set_target_properties(window_lab_test PROPERTIES AUTOMOC ON)
target_include_directories(window_lab_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/gui)
target_link_libraries(window_lab_test PRIVATE quillon_app_qt Qt6::Test GTest::gtest Threads::Threads)

quillon_lab_fixture(window NDEV 6)
quillon_lab_test(lab_window_fleet LAB window COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/window_lab_test.sh)
set_property(TEST lab_window_fleet APPEND PROPERTY ENVIRONMENT
  QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage> QL_WINLAB_BIN=$<TARGET_FILE:window_lab_test>)
set_property(TEST lab_window_fleet PROPERTY TIMEOUT 120)

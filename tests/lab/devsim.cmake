# SPDX-License-Identifier: Apache-2.0
# The simulator's own tests, in-process on loopback addresses: no namespace needed.
set(_devsim_test_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(quillon_lab_client STATIC ${_devsim_test_dir}/support/lab_client.cpp)
target_include_directories(quillon_lab_client PUBLIC ${_devsim_test_dir}/support)
target_link_libraries(quillon_lab_client PUBLIC quillon_devsim_core quillon_test_support)

file(GLOB _devsim_tests CONFIGURE_DEPENDS ${_devsim_test_dir}/devsim_*_test.cpp)
add_executable(quillon_devsim_tests ${_devsim_tests})
target_include_directories(quillon_devsim_tests PRIVATE ${_devsim_test_dir})
target_link_libraries(quillon_devsim_tests PRIVATE quillon_lab_client quillon_devsim_core ZLIB::ZLIB
  GTest::gtest GTest::gtest_main Threads::Threads)
target_precompile_headers(quillon_devsim_tests REUSE_FROM quillon_gtest_pch)
gtest_discover_tests(quillon_devsim_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS devsim TIMEOUT 120)

# The program itself: options, errors, signals (loopback only).
add_test(NAME devsim_program COMMAND bash ${_devsim_test_dir}/devsim_program_test.sh)
set_tests_properties(devsim_program PROPERTIES LABELS devsim TIMEOUT 120
  ENVIRONMENT "QL_DEVSIM=$<TARGET_FILE:quillon-devsim>;QL_PROBE=$<TARGET_FILE:quillon-lab-probe>")

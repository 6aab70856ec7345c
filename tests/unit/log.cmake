# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(log LIBS quillon_log)

# Writes diagnostic lines as the desktop program does, for the test that reads its standard output
# and its debug log byte for byte.
add_executable(quillon_debug_lines_echo ${CMAKE_CURRENT_SOURCE_DIR}/unit/log_debug_lines_echo.cpp)
target_link_libraries(quillon_debug_lines_echo PRIVATE quillon_engine quillon_log Threads::Threads)
add_dependencies(quillon_log_tests quillon_debug_lines_echo)

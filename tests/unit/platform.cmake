# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(platform LIBS quillon_platform)

# A program that writes back the arguments it received, for the tests of starting programs.
add_executable(quillon_argv_echo ${CMAKE_CURRENT_SOURCE_DIR}/unit/platform_argv_echo.cpp)
target_link_libraries(quillon_argv_echo PRIVATE Threads::Threads)
if(WIN32)
  target_link_libraries(quillon_argv_echo PRIVATE shell32)
endif()
add_dependencies(quillon_platform_tests quillon_argv_echo)

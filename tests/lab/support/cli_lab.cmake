# SPDX-License-Identifier: Apache-2.0
# quillon-cli-lab: quillon-cli with the lab's shortened timings (QUILLON_TEST_TIMING and
# friends), for the Linux lab and, in the Windows cross build, the Wine lab; the shipped
# quillon-cli reads no such variable. Never installed.
include_guard(GLOBAL)
if(TARGET quillon-cli)
  add_executable(quillon-cli-lab ${CMAKE_SOURCE_DIR}/src/cli/main.cpp ${CMAKE_CURRENT_LIST_DIR}/test_timing.cpp)
  target_compile_definitions(quillon-cli-lab PRIVATE QUILLON_LAB_TIMING)
  target_include_directories(quillon-cli-lab PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(quillon-cli-lab PRIVATE quillon_cli quillon_version)
endif()

# SPDX-License-Identifier: Apache-2.0
# CTest fixtures for tests that need the network lab (tools/lab/lab).
#
#   quillon_lab_fixture(<name> NDEV <n>)
#       tests lab_<name>_up (FIXTURES_SETUP lab_<name>) and lab_<name>_down (FIXTURES_CLEANUP):
#       a lab with a fresh id per run, torn down after its tests, also when they fail.
#   quillon_lab_test(<test> LAB <name> COMMAND <cmd...>)
#       a test in that lab. Its environment: QL_LAB (the lab script), QL_LAB_STATE (the fixture's
#       state folder: id, skipped), QL_DEVSIM, QL_PROBE and, when it is built, QL_CLI (the
#       shipped quillon-cli) and QL_CLI_LAB (quillon-cli-lab, which takes shortened timings).
#       Exit code 77 reports the test skipped (no namespaces here and CI is not set).
# Tests of one lab run one at a time: they share its namespaces and ports.
include_guard(GLOBAL)

set(QUILLON_LAB_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})

include(${QUILLON_LAB_TEST_DIR}/support/cli_lab.cmake)

add_executable(quillon-lab-probe ${QUILLON_LAB_TEST_DIR}/lab_probe.cpp)
target_link_libraries(quillon-lab-probe PRIVATE quillon_lab_client CLI11::CLI11 ZLIB::ZLIB)

function(quillon_lab_fixture name)
  cmake_parse_arguments(ARG "" "NDEV" "" ${ARGN})
  set(state ${CMAKE_BINARY_DIR}/lab-state/${name})
  add_test(NAME lab_${name}_up
    COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_fixture.sh up ${state} ${ARG_NDEV})
  set_tests_properties(lab_${name}_up PROPERTIES
    FIXTURES_SETUP lab_${name} LABELS lab SKIP_RETURN_CODE 77 RESOURCE_LOCK lab_${name} TIMEOUT 120)
  add_test(NAME lab_${name}_down COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_fixture.sh down ${state})
  set_tests_properties(lab_${name}_down PROPERTIES
    FIXTURES_CLEANUP lab_${name} LABELS lab RESOURCE_LOCK lab_${name} TIMEOUT 120)
endfunction()

function(quillon_lab_test test)
  cmake_parse_arguments(ARG "" "LAB" "COMMAND" ${ARGN})
  add_test(NAME ${test} COMMAND ${ARG_COMMAND})
  set(env
    QL_LAB=${CMAKE_SOURCE_DIR}/tools/lab/lab
    QL_LAB_STATE=${CMAKE_BINARY_DIR}/lab-state/${ARG_LAB}
    QL_DEVSIM=$<TARGET_FILE:quillon-devsim>
    QL_PROBE=$<TARGET_FILE:quillon-lab-probe>)
  if(TARGET quillon-cli)
    list(APPEND env QL_CLI=$<TARGET_FILE:quillon-cli> QL_CLI_LAB=$<TARGET_FILE:quillon-cli-lab>)
  endif()
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED lab_${ARG_LAB} LABELS lab SKIP_RETURN_CODE 77 RESOURCE_LOCK lab_${ARG_LAB}
    TIMEOUT 300 ENVIRONMENT "${env}")
endfunction()

# SPDX-License-Identifier: Apache-2.0
# End-to-end tests in the network lab: the simulator in the devices' namespace, clients (the probe
# and quillon-cli) in the tool's.
include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)

quillon_lab_fixture(fleet50 NDEV 50)
quillon_lab_test(lab_search LAB fleet50 COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_search_test.sh)
if(TARGET quillon-cli)
  quillon_lab_test(lab_cli_search LAB fleet50 COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_cli_search_test.sh)
else()
  message(STATUS "quillon-cli is not built: lab_cli_search left out")
endif()

quillon_lab_fixture(wide NDEV 300)
quillon_lab_test(lab_wide_fleet LAB wide COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_wide_test.sh)

add_test(NAME lab_script COMMAND bash ${QUILLON_LAB_TEST_DIR}/lab_script_test.sh)
set_tests_properties(lab_script PROPERTIES LABELS lab SKIP_RETURN_CODE 77 TIMEOUT 120
  ENVIRONMENT "QL_LAB=${CMAKE_SOURCE_DIR}/tools/lab/lab")

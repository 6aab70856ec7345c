# SPDX-License-Identifier: Apache-2.0
# Failures first: the report's SUMMARY lines of a mixed batch of quillon-cli upgrade against
# simulated devices, the line of addresses after the table and the --failed-to site list.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  # 198.18.0.10 .. .17; the simulator serves the first six, the last two refuse connections.
  quillon_lab_fixture(summary NDEV 8)
  quillon_lab_test(lab_summary LAB summary
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/summary_test.sh)
  set_property(TEST lab_summary APPEND PROPERTY ENVIRONMENT
    QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
endif()

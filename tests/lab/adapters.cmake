# SPDX-License-Identifier: Apache-2.0
# --adapter all with two sites joined to the tool's host (two adapters, two fleets): search and a
# whole batch, every device once with its adapter.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  quillon_lab_fixture(adapters NDEV 4)
  quillon_lab_test(lab_adapters_all LAB adapters
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/adapters_all_test.sh)
  set_property(TEST lab_adapters_all APPEND PROPERTY ENVIRONMENT
    QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage> QL_PLATFORM_TESTS=$<TARGET_FILE:quillon_platform_tests>)
endif()

# SPDX-License-Identifier: Apache-2.0
# The fault matrix: every device fault of the simulator in list and range mode, with and without
# auto-retry, and faults of the network (link cut, simulator killed, junk flood), each in a batch
# of quillon-cli upgrade in its own lab.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  # 198.18.0.10 .. 198.18.0.21, one fault each.
  quillon_lab_fixture(faults NDEV 12)
  quillon_lab_test(lab_fault_matrix LAB faults
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fault_matrix_test.sh)
  set_property(TEST lab_fault_matrix APPEND PROPERTY ENVIRONMENT
    QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
  # The longest test: started first, so that a parallel run does not end waiting for it alone.
  set_tests_properties(lab_fault_matrix lab_faults_up PROPERTIES COST 1000)
endif()

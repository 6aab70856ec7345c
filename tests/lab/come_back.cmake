# SPDX-License-Identifier: Apache-2.0
# The come-back check after the reboot, with quillon-cli against simulated devices in the lab:
# every device back with its new version, one back with its old version, one never back, one
# back only after 80 % of the limit, and STOP during the wait.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  quillon_lab_fixture(come_back NDEV 8)
  quillon_lab_test(lab_come_back LAB come_back
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/come_back_test.sh)
  set_property(TEST lab_come_back APPEND PROPERTY ENVIRONMENT
    QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
endif()

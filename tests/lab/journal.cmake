# SPDX-License-Identifier: Apache-2.0
# The batch journal over the lab: quillon-cli killed (SIGKILL) in the middle of a batch, then
# `upgrade --resume`, checked against the simulator's record; history of the journals.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  quillon_lab_fixture(journal NDEV 30)
  quillon_lab_test(lab_journal_crash LAB journal
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/journal_crash_test.sh)
  set_property(TEST lab_journal_crash APPEND PROPERTY ENVIRONMENT
    QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
endif()

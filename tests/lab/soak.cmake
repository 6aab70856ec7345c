# SPDX-License-Identifier: Apache-2.0
# The soak: one batch of quillon-cli upgrade over 500 simulated devices with ten workers and
# auto-retry, a seeded random 5 % of them with transient faults. Checks the outcome of every
# device against its faults, the user report against the summary, the images each device
# received, and that the tool's memory stays flat over the run. `ctest -L soak` runs it alone.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  # 500 device addresses: 198.18.0.10 .. 198.18.0.254, 198.18.1.1 .. 198.18.1.254, 198.18.2.1.
  quillon_lab_fixture(soak NDEV 500)
  quillon_lab_test(lab_soak LAB soak COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/soak_test.sh)
  set_property(TEST lab_soak APPEND PROPERTY ENVIRONMENT QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
  set_property(TEST lab_soak lab_soak_up lab_soak_down APPEND PROPERTY LABELS soak)
  if(QUILLON_SANITIZE)
    # A sanitizer's allocator holds freed blocks back (quarantine): memory is reported, not bounded.
    set_property(TEST lab_soak APPEND PROPERTY ENVIRONMENT QUILLON_SOAK_SANITIZER=${QUILLON_SANITIZE})
  endif()
  # The batch itself is bounded inside the script (QUILLON_SOAK_BOUND, 240 s).
  set_tests_properties(lab_soak PROPERTIES TIMEOUT 330)
  # Long too: started early (see the fault matrix).
  set_tests_properties(lab_soak lab_soak_up PROPERTIES COST 500)
endif()

# SPDX-License-Identifier: Apache-2.0
# The batch's own rules with quillon-cli against simulated devices in the lab: a canary wave
# (--canary) that fails, passes, or covers the whole batch, its resume, and the halt threshold
# (--max-failed).
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  quillon_lab_fixture(rules NDEV 10)
  foreach(t canary max_failed)
    quillon_lab_test(lab_rules_${t} LAB rules
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/rules_${t}_test.sh)
    set_property(TEST lab_rules_${t} APPEND PROPERTY ENVIRONMENT
      QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
  endforeach()
endif()

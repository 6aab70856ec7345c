# SPDX-License-Identifier: Apache-2.0
# Whole batches of quillon-cli upgrade against simulated devices in the network lab: list mode
# after a search, range mode with silent addresses, passes and retries, an address conflict, the
# graceful stop, real timings, and a fleet of 200.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake AND TARGET quillon-cli AND TARGET quillon-mkimage)
  include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)
  # 200 device addresses: 198.18.0.10 .. 198.18.0.209; the addresses above stay silent.
  quillon_lab_fixture(driver NDEV 200)
  foreach(t list range retry conflict stop real_timing package fleet200)
    quillon_lab_test(lab_driver_${t} LAB driver
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/driver_${t}_test.sh)
    set_property(TEST lab_driver_${t} APPEND PROPERTY ENVIRONMENT
      QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
  endforeach()
  # --devices-from: a site list with a missing device, a wrong MAC and names; bad lines.
  quillon_lab_test(lab_driver_site LAB driver COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/driver_site_test.sh)
  set_property(TEST lab_driver_site APPEND PROPERTY ENVIRONMENT QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>)
endif()

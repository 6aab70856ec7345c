# SPDX-License-Identifier: Apache-2.0
# quillon-cli.exe under Wine in the network lab (the Windows cross build only): the program in the
# tool's namespace, quillon-devsim (Linux) in the devices'. The Linux lab scripts run unchanged
# where their checks hold for both systems, with QL_CLI swapped for wine_cli.sh; the wine_*_test.sh
# scripts add what differs (the same batch on both systems, paths with Chinese characters).
#
# The simulator and the image maker come from a Linux build of the same sources:
#   -DQUILLON_HOST_BUILD_DIR=<that build folder>
if(NOT WIN32 OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()
set(QUILLON_HOST_BUILD_DIR "" CACHE PATH
  "a Linux build folder of these sources, for the Wine lab tests (quillon-devsim, quillon-mkimage, quillon-cli, quillon-cli-lab)")
if(NOT TARGET quillon-cli)
  message(STATUS "quillon-cli is not built: the Wine lab tests are left out")
  return()
endif()
if(NOT QUILLON_HOST_BUILD_DIR)
  message(STATUS "QUILLON_HOST_BUILD_DIR not set: the Wine lab tests are left out")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/support/cli_lab.cmake)

set(wine_lab_state ${CMAKE_BINARY_DIR}/lab-state/wine)
set(wine_lab_env
  QL_LAB=${CMAKE_SOURCE_DIR}/tools/lab/lab
  QL_LAB_STATE=${wine_lab_state}
  QL_DEVSIM=${QUILLON_HOST_BUILD_DIR}/tools/devsim/quillon-devsim
  QL_MKIMAGE=${QUILLON_HOST_BUILD_DIR}/tools/mkimage/quillon-mkimage
  QL_LINUX_CLI_LAB=${QUILLON_HOST_BUILD_DIR}/tests/quillon-cli-lab
  QL_CLI=${CMAKE_CURRENT_LIST_DIR}/wine_cli.sh
  QL_CLI_EXE=$<TARGET_FILE:quillon-cli>
  QL_CLI_LAB=${CMAKE_CURRENT_LIST_DIR}/wine_cli_lab.sh
  QL_CLI_LAB_EXE=$<TARGET_FILE:quillon-cli-lab>
  QL_WINE_RUN=${CMAKE_SOURCE_DIR}/cmake/wine-run
  WINEPREFIX=${QUILLON_WINE_DIR}/lab)

# 200 device addresses (198.18.0.10 .. 209), as the Linux batch tests have: the range test's
# silent addresses lie above them.
add_test(NAME wine_lab_up COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wine_lab_fixture.sh up ${wine_lab_state} 200)
set_tests_properties(wine_lab_up PROPERTIES FIXTURES_SETUP wine_lab FIXTURES_REQUIRED wine_prefix
  LABELS "lab;wine" SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_lab TIMEOUT 300 ENVIRONMENT "${wine_lab_env}")
add_test(NAME wine_lab_down COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wine_lab_fixture.sh down ${wine_lab_state})
set_tests_properties(wine_lab_down PROPERTIES FIXTURES_CLEANUP wine_lab LABELS "lab;wine"
  RESOURCE_LOCK wine_lab TIMEOUT 120 ENVIRONMENT "${wine_lab_env}")

set(wine_lab_tests
  search=lab_cli_search_test.sh     # 50 devices, every one listed once
  batch=wine_batch_test.sh          # one batch on both systems: report, summary, received bytes
  range=driver_range_test.sh        # silent addresses (IcmpSendEcho), the type filter
  package=wine_package_test.sh      # a package in a folder named in Chinese, with spaces
  stop=driver_stop_test.sh          # the graceful stop, the one at once, a stopped range scan
  journal=wine_journal_test.sh      # come-back check, journal, history, --resume in a Chinese folder
  site=driver_site_test.sh)         # --devices-from: a site list read and searched for, bad lines
foreach(t IN LISTS wine_lab_tests)
  string(REPLACE "=" ";" t ${t})
  list(GET t 0 name)
  list(GET t 1 script)
  add_test(NAME wine_lab_${name} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${script})
  set_tests_properties(wine_lab_${name} PROPERTIES FIXTURES_REQUIRED "wine_lab;wine_prefix"
    LABELS "lab;wine" SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_lab TIMEOUT 300
    ENVIRONMENT "${wine_lab_env}")
endforeach()

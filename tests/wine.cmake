# SPDX-License-Identifier: Apache-2.0
# Tests of the Windows cross build, run under Wine (cmake/wine-run is the build's emulator).
#
# The first test of a run makes the run's Wine prefixes (cmake/wine-prefix): "unit" for the unit
# tests, which run on loopback in this namespace, and "lab" for the lab tests, whose Wine session
# runs inside the lab's tool namespace. Two prefixes, because Wine creates a program's sockets in
# its wineserver: one server per network namespace.
#
#   quillon_wine_test(<name> COMMAND <target or command...>)   a test under the unit prefix
set(QUILLON_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(QUILLON_WINE_PREFIX_TOOL ${CMAKE_SOURCE_DIR}/cmake/wine-prefix)

add_test(NAME wine_prefix
  COMMAND ${QUILLON_WINE_PREFIX_TOOL} make ${QUILLON_WINE_DIR}/unit ${QUILLON_WINE_DIR}/lab)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 300)
add_test(NAME wine_prefix_stop COMMAND ${QUILLON_WINE_PREFIX_TOOL} stop ${QUILLON_WINE_DIR}/unit)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine TIMEOUT 120)

function(quillon_wine_test name)
  cmake_parse_arguments(ARG "" "" "COMMAND" ${ARGN})
  add_test(NAME ${name} COMMAND ${ARG_COMMAND})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS "unit;wine"
    TIMEOUT 600 ENVIRONMENT "WINEPREFIX=${QUILLON_WINE_DIR}/unit")
endfunction()

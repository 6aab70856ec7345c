# SPDX-License-Identifier: Apache-2.0
# A smoke run of the benchmark harness (bench/run --quick) in a lab of its own: every scenario
# must produce its line. How fast things are is not judged here; bench/run does that.
include(${CMAKE_CURRENT_LIST_DIR}/lab_fixture.cmake)

if(TARGET quillon-cli AND TARGET quillon-bench)
  quillon_lab_fixture(bench_smoke NDEV 4)
  quillon_lab_test(lab_bench_smoke LAB bench_smoke
    COMMAND bash ${QUILLON_LAB_TEST_DIR}/bench_smoke_test.sh ${CMAKE_BINARY_DIR})
else()
  message(STATUS "quillon-cli or quillon-bench is not built: lab_bench_smoke left out")
endif()

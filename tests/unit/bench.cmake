# SPDX-License-Identifier: Apache-2.0
# The benchmark harness's floor model and interrupt trace (bench/tool).
if(TARGET quillon_bench_model)
  quillon_unit_tests(bench LIBS quillon_bench_model)
endif()

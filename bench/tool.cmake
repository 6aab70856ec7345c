# SPDX-License-Identifier: Apache-2.0
# quillon-bench: the helpers of bench/run (image files, the floor model, measured runs, the
# reference push). Built with everything: the harness's smoke test runs it.
# The floor model, the image writer and the interrupt trace are a library of their own, for
# their unit tests.
add_library(quillon_bench_model STATIC ${CMAKE_CURRENT_LIST_DIR}/tool/floor_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool/image_file.cpp ${CMAKE_CURRENT_LIST_DIR}/tool/irq_time.cpp)
target_include_directories(quillon_bench_model PUBLIC ${CMAKE_CURRENT_LIST_DIR}/tool)
target_link_libraries(quillon_bench_model PUBLIC quillon_engine quillon_platform ZLIB::ZLIB Threads::Threads)

add_executable(quillon-bench
  ${CMAKE_CURRENT_LIST_DIR}/tool/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool/measured_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool/push_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool/push_reference.cpp)
target_link_libraries(quillon-bench PRIVATE quillon_bench_model quillon_engine quillon_window quillon_log
  quillon_platform CLI11::CLI11 ZLIB::ZLIB Threads::Threads)

# The checksum benchmark (Google Benchmark, Debian libbenchmark-dev).
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(quillon_checksum_bench ${CMAKE_CURRENT_LIST_DIR}/checksum_bench.cpp)
  target_include_directories(quillon_checksum_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(quillon_checksum_bench PRIVATE quillon_bench_model quillon_engine
    benchmark::benchmark ZLIB::ZLIB)
else()
  message(STATUS "Google Benchmark not found (libbenchmark-dev): quillon_checksum_bench left out")
endif()

# The desktop program's window under load (needs the Qt window).
if(TARGET quillon_app_qt)
  add_executable(quillon_window_bench ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_probe.cpp)
  target_link_libraries(quillon_window_bench PRIVATE quillon_app_qt Qt6::Widgets)
endif()

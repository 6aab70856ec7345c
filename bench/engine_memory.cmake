# SPDX-License-Identifier: Apache-2.0
add_executable(quillon_bench_engine_memory EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/engine_memory.cpp)
target_link_libraries(quillon_bench_engine_memory PRIVATE quillon_engine ZLIB::ZLIB Threads::Threads)

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds and runs the engine's memory benchmark (not part of ctest).
# Usage: bench/engine_memory.sh [total MiB] [workers]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_WINDOW=OFF >/dev/null
cmake --build build-bench -j2 --target quillon_bench_engine_memory
exec build-bench/bench/quillon_bench_engine_memory "${1:-200}" "${2:-4}"

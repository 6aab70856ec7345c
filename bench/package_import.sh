#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Package import benchmark: builds bench/package_import_bench and runs it once; prints one JSON line.
# Needs about 2 GiB free in the temporary folder for the default 1 GiB package. Cleans up after itself.
# Usage: bench/package_import.sh [--size-mib N] [--runs R]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
command -v unzip >/dev/null || { echo "package_import.sh: Debian's unzip is needed (scripts/setup installs it)" >&2; exit 2; }
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target package_import_bench >/dev/null
tmp=${TMPDIR:-/tmp}
free_kib=$(df -Pk "$tmp" | awk 'NR==2 {print $4}')
if [ "$free_kib" -lt $((2600 * 1024)) ]; then
  echo "package_import.sh: less than 2.6 GiB free in $tmp" >&2
  exit 2
fi
dir=$(mktemp -d "$tmp/quillon-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/package_import_bench" --dir "$dir" "$@"

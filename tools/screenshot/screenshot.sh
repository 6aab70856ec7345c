#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Renders the main window into PNG files, in English and in Chinese: idle with a discovered fleet
# of twelve simulated devices, and in the middle of a batch. The window is the real program
# (window_lab_test) in the tool's namespace of a lab of its own; the simulator burns slowly so
# that the batch can be caught part-way. Needs root (the lab) and a build with the lab tests.
#
#   tools/screenshot/screenshot.sh [BUILD_DIR [OUT_DIR]]
#       BUILD_DIR default build/, OUT_DIR default docs/screenshots/
#   Files: window_idle_en.png window_batch_en.png window_idle_zh.png window_batch_zh.png
#   SCREENSHOT_XVFB=1 renders on an X server (xvfb-run, platform xcb) instead of offscreen.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mkdir -p "${2:-$root/docs/screenshots}"
out=$(cd "${2:-$root/docs/screenshots}" && pwd)
lab="$root/tools/lab/lab"

for f in tests/window_lab_test tools/devsim/quillon-devsim tools/mkimage/quillon-mkimage; do
  [ -x "$build/$f" ] || { echo "screenshot: $build/$f missing (build the lab tests first)" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] && "$lab" check || { echo "screenshot: needs root and network namespaces" >&2; exit 1; }

id="shot$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
state=$(mktemp -d /tmp/quillon-shot.XXXXXX)
cleanup() {
  "$lab" down "$id" || true
  rm -rf "$state"
}
trap cleanup EXIT
"$lab" up "$id" 12 >/dev/null
echo "$id" >"$state/id"

wrap=()
platform=offscreen
if [ "${SCREENSHOT_XVFB:-}" = 1 ]; then
  wrap=(xvfb-run -a -s "-screen 0 1400x900x24")
  platform=xcb
fi

shoot() {  # $1: tag, $2: locale
  QL_LAB="$lab" QL_LAB_STATE="$state" QL_DEVSIM="$build/tools/devsim/quillon-devsim" \
    QL_PROBE=unused QL_MKIMAGE="$build/tools/mkimage/quillon-mkimage" \
    QL_WINLAB_BIN="$build/tests/window_lab_test" QL_WINLAB_SHOTS="$out" QL_WINLAB_SHOT_TAG="$1" \
    WINLAB_LANG="$2" WINLAB_NDEV=12 WINLAB_BURN_MS=1500 WINLAB_KERNEL_SIZE=2000000 \
    QT_QPA_PLATFORM=$platform "${wrap[@]}" bash "$root/tests/lab/window_lab_test.sh" >"$state/log_$1" 2>&1 ||
    { tail -n 40 "$state/log_$1" >&2; echo "screenshot: the $1 run failed" >&2; exit 1; }
}
shoot en en_US.UTF-8
shoot zh zh_CN.UTF-8
ls -1 "$out"/window_*_en.png "$out"/window_*_zh.png

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The desktop program against a simulated fleet: window_lab_test (gtest, offscreen) runs in the
# tool's namespace while quillon-devsim serves six devices in the devices' namespace. Afterwards
# the simulator's record must show both images received whole by every device.
#   QL_WINLAB_BIN  the test program; QL_MKIMAGE  the image tool
#   QL_WINLAB_SHOTS, QL_WINLAB_SHOT_TAG, WINLAB_LANG, WINLAB_BURN_MS: used by tools/screenshot
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
[ -n "${QL_WINLAB_BIN:-}" ] || fail "QL_WINLAB_BIN not set"
[ -n "${QL_MKIMAGE:-}" ] || fail "QL_MKIMAGE not set"
lab_init

ndev=${WINLAB_NDEV:-6}
start_devsim --first 198.18.0.10 --count "$ndev" --burn-ms "${WINLAB_BURN_MS:-40}" --reboot-ms 300

mkdir -p "$WORK/pkg" "$WORK/run"
"$QL_MKIMAGE" image "$WORK/pkg/1_uboot.img" --size 20000 --seed 3 || fail "mkimage"
"$QL_MKIMAGE" image "$WORK/pkg/2_kernel.img" --size "${WINLAB_KERNEL_SIZE:-200000}" --seed 4 || fail "mkimage"
"$QL_MKIMAGE" package "$WORK/fw.zip" "$WORK/pkg/1_uboot.img" "$WORK/pkg/2_kernel.img" || fail "package"
image_crc() { head -c -204 "$1" | gzip -1 -c | tail -c 8 | od -An -tx4 -N4 | tr -d ' \n'; }
boot_crc=$(image_crc "$WORK/pkg/1_uboot.img")
kernel_crc=$(image_crc "$WORK/pkg/2_kernel.img")

ips=$(for i in $(seq 0 $((ndev - 1))); do "$QL_LAB" addr "$i"; done | tr '\n' ' ')

rc=0
(cd "$WORK/run" &&
  exec env QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" LC_ALL="${WINLAB_LANG:-C.UTF-8}" \
    QL_WINLAB_PACKAGE="$WORK/fw.zip" QL_WINLAB_IPS="$ips" \
    "$QL_LAB" exec-pc "$LAB_ID" "$QL_WINLAB_BIN") || rc=$?
[ $rc -eq 0 ] || fail "window_lab_test ended with $rc"

# What the devices received: both images whole, once each, in every device.
for ip in $ips; do
  recs=$(grep "\"device\":\"$ip\"" "$WORK/record.jsonl" || true)
  [ "$(grep -c . <<<"$recs")" -eq 2 ] || fail "$ip: expected two connections: $recs"
  grep -q "\"digest\":\"$boot_crc\".*\"checksum\":\"ok\".*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: boot image not received whole: $recs"
  grep -q "\"digest\":\"$kernel_crc\".*\"checksum\":\"ok\".*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: kernel image not received whole: $recs"
done
echo "PASS"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# 200 devices, ten workers, one small image: every device succeeds exactly once, nothing is left
# to do, the counter reads 200 of 200, every device got the image's bytes.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 4_app.img 4096 8
crc=$(image_crc "$WORK/4_app.img")
start_devsim --first 198.18.0.10 --count 200 --burn-ms 20 --reboot-ms 200
upgrade --fw "$WORK/4_app.img" --threads 10 --json
expect_rc 0
[ "$(jqv .totals.devices)" -eq 200 ] && [ "$(jqv .totals.succeeded)" -eq 200 ] || fail "totals: $(jqv .totals)"
[ "$(jqv .counter)" = "(200/200)" ] || fail "counter '$(jqv .counter)'"
[ "$(jqv '[.devices[] | select(.passes != 1)] | length')" -eq 0 ] || fail "a device tried twice"
msgs=$(report_msgs)
[ "$(grep -c "^\[SEARCH\] upgrade success: IP:" <<<"$msgs")" -eq 200 ] || fail "success lines: $(grep -c . <<<"$msgs")"
[ "$(grep "^\[SEARCH\] upgrade success: IP:" <<<"$msgs" | sort -u | grep -c .)" -eq 200 ] || fail "a device succeeded twice"
grep -q failure <<<"$msgs" && fail "failure lines: $msgs"
[ "$(grep -c "\"received\":4096,\"digest\":\"$crc\".*\"result\":\"success\"" "$WORK/record.jsonl")" -eq 200 ] ||
  fail "not every device got the image whole"
[ "$(grep -c . "$WORK/record.jsonl")" -eq 200 ] || fail "connections: $(grep -c . "$WORK/record.jsonl")"
echo "PASS"

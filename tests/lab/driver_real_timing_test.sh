#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The program's own timings: the three-second search window and the three one-second waits of
# the conflict check before every image. The shipped program keeps them even when the variables
# that shorten the lab's build are set.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
QL_CLI=$QL_CLI_SHIPPED
export QUILLON_TEST_TIMING=fast QUILLON_TEST_IDLE_MS=100 QUILLON_TEST_CONNECT_MS=100
lab_init

image 1_boot.img 30000 7
start_devsim --first 198.18.0.10 --count 3
start=$SECONDS
upgrade --boot "$WORK/1_boot.img" --threads 3 --json
expect_rc 0
[ "$(jqv .totals.succeeded)" -eq 3 ] || fail "totals: $(jqv .totals)"
# Every device waited its three seconds before the image was sent.
[ "$(jqv '[.devices[] | select(.elapsed_s >= 3.0)] | length')" -eq 3 ] || fail "elapsed: $(jqv '[.devices[].elapsed_s]')"
grep -q "Searching on lab0 (198.18.0.1) for 3000 ms" "$WORK/err" || fail "search window: $(cat "$WORK/err")"
((SECONDS - start >= 6)) || fail "the batch took $((SECONDS - start)) s: the waits were shortened"
echo "PASS"

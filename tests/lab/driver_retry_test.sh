#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Passes and retries: .11 fails its first three connections (the three attempts of pass 1),
# .13 fails every image. Without auto-retry one pass; with it, .11 succeeds in pass 2 and .13 is
# tried in all ten passes.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 2_kernel.img 8000 4
faults=(--fault 198.18.0.11:fail-first=3 --fault 198.18.0.13:fail)

start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 200 "${faults[@]}"
upgrade --kernel "$WORK/2_kernel.img" --threads 2 --json
expect_rc 1
[ "$(jqv .totals.passes)" -eq 1 ] || fail "passes $(jqv .totals.passes)"
[ "$(jqv '[.devices[] | select(.outcome == "failure") | .ip] | join(" ")')" = "198.18.0.11 198.18.0.13" ] ||
  fail "failed: $(jqv .devices)"
[ "$(device_records 198.18.0.11 | grep -c .)" -eq 3 ] || fail "three attempts for .11: $(device_records 198.18.0.11)"
msgs=$(report_msgs)
grep -qx "\[SEARCH\] upgrade failure: IP:198.18.0.11 MAC:$(sim_mac 198.18.0.11)" <<<"$msgs" || fail "report: $msgs"
[ "$(grep -c "upgrade success" <<<"$msgs")" -eq 3 ] || fail "report: $msgs"
stop_devsim

# Fresh simulator: .11 again fails its first three connections.
start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 200 "${faults[@]}"
upgrade --kernel "$WORK/2_kernel.img" --threads 2 --auto-retry --json
expect_rc 1
[ "$(jqv .totals.passes)" -eq 10 ] || fail "passes $(jqv .totals.passes)"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.11") | "\(.outcome) \(.passes)"')" = "success 2" ] ||
  fail ".11: $(jqv .devices)"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.13") | "\(.outcome) \(.passes)"')" = "failure 10" ] ||
  fail ".13: $(jqv .devices)"
[ "$(jqv '[.devices[] | select(.passes == 1 and .outcome == "success")] | length')" -eq 3 ] ||
  fail "the others once: $(jqv .devices)"
msgs=$(report_msgs)
[ "$(grep -c "upgrade failure: IP:198.18.0.13 " <<<"$msgs")" -eq 10 ] || fail "ten failures of .13: $msgs"
[ "$(grep -c "upgrade success: IP:198.18.0.11 " <<<"$msgs")" -eq 1 ] || fail "one success of .11: $msgs"
[ "$(grep -c "upgrade success: IP:198.18.0.10 " <<<"$msgs")" -eq 1 ] || fail "one success of .10: $msgs"
echo "PASS"

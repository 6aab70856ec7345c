#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# After its reboot every upgraded device is searched for until it answers from its address with
# its MAC, or until the --come-back limit has passed. The batch ends when every device is back or
# past its limit; Ctrl-C ends that wait at once.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 2_kernel.img 6000 3
image 4_fw.img 9000 5

# back_line IP MAC BEFORE AFTER: the report's line of a device that came back (any seconds). The
# report is HTML: "->" is written "-&gt;".
back_line() { grep -xE "\[CHECK\] device back: IP:$1 MAC:$2 version:$3 -&gt; $4 \([0-9]+ s\)" <<<"$(report_msgs)"; }

# ---- every device back with its new version: a line each, the new version in every row, exit 0
start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 400
upgrade --kernel "$WORK/2_kernel.img" --fw "$WORK/4_fw.img" --threads 3 --come-back 20 --json \
  --csv "$WORK/all.csv"
expect_rc 0
[ "$(jqv '.totals | "\(.succeeded) \(.came_back) \(.not_back) \(.back_same_version)"')" = "5 5 0 0" ] ||
  fail "totals: $(jqv .totals)"
for d in 10 11 12 13 14; do
  ip=198.18.0.$d
  [ "$(jqv ".devices[] | select(.ip == \"$ip\") | \"\(.came_back) \(.version_before) \(.version_after) \(.same_version)\"")" = \
    "true 1.0.0 1.0.0-new false" ] || fail "$ip: $(jqv .devices)"
  back_line "$ip" "$(sim_mac $ip)" 1.0.0 1.0.0-new >/dev/null || fail "no back line for $ip: $(report_msgs)"
  # The device list (the CSV is its copy) shows what the device answered with after the reboot.
  grep -q "^\"$ip\",.*,true,\"1.0.0\",\"1.0.0-new\",[0-9]*"$'\r'"\$" "$WORK/all.csv" || fail "csv $ip: $(cat "$WORK/all.csv")"
done
[ "$(report_msgs | grep -c '^\[CHECK\] ')" -eq 5 ] || fail "one check line per device: $(report_msgs)"
# The reboot took 400 ms: nobody waited for the limit.
[ "$(jqv '[.devices[].back_after_s] | max')" -lt 5 ] || fail "back after: $(jqv .devices)"
stop_devsim

# ---- one back with its old version, one never back, one back after 80 % of the limit (4 of 5 s)
faults=(--fault 198.18.0.12:old-version --fault 198.18.0.13:no-return --fault 198.18.0.14:reboot-ms=4000)
start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 300 "${faults[@]}"
t0=$SECONDS
upgrade --kernel "$WORK/2_kernel.img" --threads 5 --come-back 5 --json
took=$((SECONDS - t0))
expect_rc 5
[ "$(jqv '.totals | "\(.succeeded) \(.failed) \(.came_back) \(.not_back) \(.back_same_version)"')" = "5 0 4 1 1" ] ||
  fail "totals: $(jqv .totals)"
dev() { jqv ".devices[] | select(.ip == \"198.18.0.$1\") | $2"; }
[ "$(dev 12 '"\(.came_back) \(.version_before) \(.version_after) \(.same_version)"')" = "true 1.0.0 1.0.0 true" ] ||
  fail ".12: $(jqv .devices)"
[ "$(dev 13 '"\(.outcome) \(.came_back) \(.version_after) \(.back_after_s)"')" = "success false null null" ] ||
  fail ".13: $(jqv .devices)"
[ "$(dev 14 '"\(.came_back) \(.version_after)"')" = "true 1.0.0-new" ] || fail ".14: $(jqv .devices)"
[ "$(dev 14 .back_after_s)" -ge 4 ] || fail ".14 came back before its reboot was over: $(jqv .devices)"
back_line 198.18.0.12 "$(sim_mac 198.18.0.12)" 1.0.0 1.0.0 >/dev/null || fail "old version line: $(report_msgs)"
report_msgs | grep -qx "\[CHECK\] device not back: IP:198.18.0.13 MAC:$(sim_mac 198.18.0.13) after 5 s" ||
  fail "not back line: $(report_msgs)"
[ "$took" -lt 30 ] || fail "the batch took ${took}s with a limit of 5 s"
stop_devsim

# The same fleet, the summary as a table: the device never back and the old version are marked.
start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 300 "${faults[@]}"
upgrade --kernel "$WORK/2_kernel.img" --threads 5 --come-back 2
expect_rc 5
grep -qE '^198\.18\.0\.13 .* NOT BACK$' "$WORK/out" || fail "table: $(cat "$WORK/out")"
grep -qE '^198\.18\.0\.12 .* back, OLD VERSION 1\.0\.0$' "$WORK/out" || fail "table: $(cat "$WORK/out")"
grep -q "not back after the reboot" "$WORK/out" || fail "table: $(cat "$WORK/out")"
# A device that failed wins over one not back: exit 1.
stop_devsim
start_devsim --first 198.18.0.10 --count 3 --burn-ms 20 --reboot-ms 300 \
  --fault 198.18.0.10:fail --fault 198.18.0.11:no-return
upgrade --kernel "$WORK/2_kernel.img" --threads 3 --come-back 1 --json
expect_rc 1
[ "$(jqv '"\(.totals.failed) \(.totals.not_back)"')" = "1 1" ] || fail "totals: $(jqv .totals)"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.10") | .came_back')" = null ] || fail "a failed device is not checked"
stop_devsim

# ---- Ctrl-C during the wait ends it at once; the devices not yet back are not checked.
start_devsim --first 198.18.0.10 --count 2 --burn-ms 20 --reboot-ms 300 --fault 198.18.0.11:reboot-ms=120000
rm -rf "$WORK/run"
mkdir -p "$WORK/run"
(cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 \
  --kernel "$WORK/2_kernel.img" --threads 2 --come-back 200 --json) >"$WORK/out" 2>"$WORK/err" &
CLI=$!
first_back() { grep -q "device back: IP:198.18.0.10 " "$WORK/run/log/upgrade_user.html" 2>/dev/null; }
wait_for 60 first_back || { kill -INT "$CLI"; fail "no device back: $(cat "$WORK/err")"; }
kill -INT "$CLI"
t0=$SECONDS
RC=0
wait "$CLI" || RC=$?
[ $((SECONDS - t0)) -le 5 ] || fail "the wait went on $((SECONDS - t0))s after Ctrl-C"
expect_rc 0
[ "$(jqv '.devices[] | select(.ip == "198.18.0.11") | "\(.outcome) \(.came_back)"')" = "success null" ] ||
  fail ".11: $(jqv .devices)"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.10") | .came_back')" = true ] || fail ".10: $(jqv .devices)"
[ "$(jqv .stopped)" = true ] || fail "stopped: $(jqv .stopped)"
report_msgs | grep -qE "^\[CHECK\] device not checked: IP:198\.18\.0\.11 MAC:$(sim_mac 198.18.0.11) \(stopped after [0-9]+ s\)$" ||
  fail "report: $(report_msgs)"
grep -qx "The bulk upgrade process terminate !" "$WORK/err" || fail "end message: $(cat "$WORK/err")"
stop_devsim
echo "PASS"

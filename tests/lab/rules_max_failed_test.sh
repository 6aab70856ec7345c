#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --max-failed 2 in a fleet of 10 with 5 failing devices, 2 workers and auto-retry: the third
# failure asks for the graceful stop. The device in the other worker's hand (.13, slow) finishes
# and succeeds, no other device is begun, no retry pass runs; the summary names the threshold,
# the exit code is 1 and the journal shows it.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 2_kernel.img 8000 3
# Rows alternate between the two workers: worker 0 takes .10 .12 .14 ..., worker 1 .11 .13 ...
# .10 .11 .12 fail at once; .13 burns for 3 s, so it is in hand when .12 fails.
devices=()
for d in 10 11 12 13 14 15 16 17 18 19; do devices+=(--device 198.18.0.$d); done
start_devsim --first 198.18.0.10 --count 10 --burn-ms 20 --reboot-ms 300 \
  --fault 198.18.0.10:fail --fault 198.18.0.11:fail --fault 198.18.0.12:fail \
  --fault 198.18.0.14:fail --fault 198.18.0.16:fail --fault 198.18.0.13:burn-ms=3000
upgrade --kernel "$WORK/2_kernel.img" "${devices[@]}" --threads 2 --auto-retry --max-failed 2 --come-back 10 --json
expect_rc 1

why="max-failed 2 reached: 3 of 10 devices failed in pass 1 (2 allowed); the devices in hand finish, none begins, no retry pass runs"
[ "$(jqv .halted)" = "$why" ] || fail "summary: $(jqv .halted)"
[ "$(jqv '"\(.max_failed) \(.canary) \(.totals.passes) \(.totals.failed) \(.totals.succeeded) \(.totals.not_started) \(.stopped)"')" = \
  "2 null 1 3 1 6 false" ] || fail "summary: $(cat "$WORK/out")"
# The device in hand finished.
[ "$(jqv '.devices[] | select(.ip == "198.18.0.13") | .outcome')" = success ] || fail ".13: $(jqv .devices)"
[ "$(device_records 198.18.0.13 | grep -c '"result":"success"')" -eq 1 ] || fail ".13: $(device_records 198.18.0.13)"
# The three that failed had their attempts once (no retry pass); no other device was touched.
for d in 10 11 12; do
  [ "$(device_records 198.18.0.$d | grep -c '"result":"failed"')" -eq 3 ] || fail ".$d: $(device_records 198.18.0.$d)"
done
for d in 14 15 16 17 18 19; do
  [ -z "$(device_records 198.18.0.$d)" ] || fail "198.18.0.$d was begun: $(device_records 198.18.0.$d)"
done
grep -qxF "Stopping: $why" "$WORK/err" || fail "console: $(cat "$WORK/err")"
grep -qx "The bulk upgrade process terminate !" "$WORK/err" || fail "end message: $(cat "$WORK/err")"

J=$(ls "$WORK/run/log"/journal_*.jsonl)
[ "$(head -n 1 "$J" | jq -c '[.settings.canary, .settings.max_failed]')" = '[0,"2"]' ] || fail "start: $(head -n 1 "$J")"
[ "$(jq -c 'select(.event == "batch_rule") | [.rule, .outcome, .halts, .pass, .why]' "$J")" = \
  "[\"max_failed\",\"reached\",true,0,\"$why\"]" ] || fail "journal: $(cat "$J")"
[ "$(jq -c 'select(.event == "batch_end") | [.passes, .stopped]' "$J")" = '[1,true]' ] || fail "journal: $(cat "$J")"
[ "$(jq -c 'select(.event == "device_taken" and .pass > 0)' "$J" | grep -c .)" -eq 0 ] || fail "a retry pass ran: $(cat "$J")"

# The history says which rule ended the batch.
in_pc bash -c "cd '$WORK/run' && '$QL_CLI' history --json" >"$WORK/hist" || fail "history failed"
[ "$(jq -r '.[0] | "\(.halted_by) \(.stopped)"' "$WORK/hist")" = "max_failed true" ] || fail "history: $(cat "$WORK/hist")"

# The table names the threshold too.
stop_devsim
start_devsim --first 198.18.0.10 --count 4 --burn-ms 20 --reboot-ms 300 \
  --fault 198.18.0.10:fail --fault 198.18.0.11:fail
upgrade --kernel "$WORK/2_kernel.img" --device 198.18.0.10 --device 198.18.0.11 --device 198.18.0.12 \
  --device 198.18.0.13 --threads 1 --max-failed 25% --come-back 0
expect_rc 1
grep -qxF "HALTED: max-failed 25% reached: 2 of 4 devices failed in pass 1 (1 allowed); the devices in hand finish, none begins, no retry pass runs" \
  "$WORK/out" || fail "table: $(cat "$WORK/out")"
for d in 12 13; do
  [ -z "$(device_records 198.18.0.$d)" ] || fail "198.18.0.$d was begun: $(device_records 198.18.0.$d)"
done
stop_devsim
echo "PASS"

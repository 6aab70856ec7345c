#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --canary N: the first N devices of the list are upgraded alone, and the others only once every
# one of them is upgraded and back after its reboot.
# - one canary device fails: every other device is untouched (the simulator's record shows no
#   connection to them), the batch says why on the console, in the summary and in its journal,
#   and exits with 1;
# - the canary passes: the others follow only after the canary's devices are back, and all are
#   upgraded;
# - no more devices than the canary, and the come-back check off: said, and no false success;
# - --resume keeps the canary of the batch it continues, unless that canary passed.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 2_kernel.img 8000 3
# The devices in list order: named one by one, so that "the first N" is known.
devices=()
for d in 10 11 12 13 14 15 16 17; do devices+=(--device 198.18.0.$d); done
journal() { ls "$WORK/run/log"/journal_*.jsonl 2>/dev/null | sort -r | head -n 1; }
jl() { jq -c "$1" "$(journal)"; }

# ---- a canary of 2 with .11 failing: .12 to .17 are never touched
start_devsim --first 198.18.0.10 --count 8 --burn-ms 20 --reboot-ms 300 --fault 198.18.0.11:fail
upgrade --kernel "$WORK/2_kernel.img" "${devices[@]}" --threads 3 --auto-retry --canary 2 --come-back 10 --json
expect_rc 1
for d in 12 13 14 15 16 17; do
  [ -z "$(device_records 198.18.0.$d)" ] || fail "198.18.0.$d was connected to: $(device_records 198.18.0.$d)"
  [ "$(jqv ".devices[] | select(.ip == \"198.18.0.$d\") | .outcome")" = "not started" ] || fail ".$d: $(jqv .devices)"
done
# The canary itself: one pass (no retry, for all --auto-retry): .11 had its three attempts once.
[ "$(device_records 198.18.0.11 | grep -c '"result":"failed"')" -eq 3 ] || fail ".11: $(device_records 198.18.0.11)"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.10") | "\(.outcome) \(.came_back)"')" = "success true" ] ||
  fail ".10: $(jqv .devices)"
why="canary failed: 198.18.0.11 failed; the other 6 devices were not touched"
[ "$(jqv .halted)" = "$why" ] || fail "summary: $(jqv .halted)"
[ "$(jqv '"\(.canary) \(.max_failed) \(.totals.passes) \(.exit_code)"')" = "2 null 1 1" ] || fail "summary: $(cat "$WORK/out")"
grep -qxF "$why" "$WORK/err" || fail "console: $(cat "$WORK/err")"
# The journal: the rule in its start line, the verdict before the end, nothing taken after it.
[ "$(head -n 1 "$(journal)" | jq -c '[.settings.canary, .settings.max_failed]')" = '[2,null]' ] ||
  fail "start: $(head -n 1 "$(journal)")"
[ "$(jl 'select(.event == "batch_rule") | [.rule, .outcome, .halts, .rows, .why]')" = "[\"canary\",\"failed\",true,[0,1],\"$why\"]" ] ||
  fail "journal: $(cat "$(journal)")"
[ "$(tail -n 2 "$(journal)" | head -n 1 | jq -r .event)" = batch_rule ] || fail "journal: $(cat "$(journal)")"
[ "$(jl 'select(.event == "device_taken") | .ip' | sort -u | tr -d '"' | tr '\n' ' ')" = "198.18.0.10 198.18.0.11 " ] ||
  fail "journal: $(cat "$(journal)")"
in_pc bash -c "cd '$WORK/run' && '$QL_CLI' history --json" >"$WORK/hist" || fail "history failed"
[ "$(jq -r '.[0].halted_by' "$WORK/hist")" = canary ] || fail "history: $(cat "$WORK/hist")"
stop_devsim

# ---- the canary passes: the others follow once .10 and .11 are back, and all are upgraded
start_devsim --first 198.18.0.10 --count 8 --burn-ms 20 --reboot-ms 300 --fault 198.18.0.10:reboot-ms=1500
upgrade --kernel "$WORK/2_kernel.img" "${devices[@]}" --threads 3 --canary 2 --come-back 10 --json
expect_rc 0
[ "$(jqv '"\(.totals.succeeded) \(.totals.came_back) \(.halted) \(.canary)"')" = "8 8 null 2" ] ||
  fail "summary: $(cat "$WORK/out")"
grep -qxF "canary passed: 2 of 2 upgraded and back; the other 6 devices follow" "$WORK/err" ||
  fail "console: $(cat "$WORK/err")"
# In the journal, in this order: both canary devices back, the verdict, then the first of the others.
order=$(jq -r 'if .event == "device_came_back" and (.row < 2) then "back"
               elif .event == "batch_rule" then "verdict"
               elif .event == "device_taken" and .row >= 2 then "other" else empty end' "$(journal)" | uniq | tr '\n' ' ')
[ "$order" = "back verdict other " ] || fail "order: $order; $(cat "$(journal)")"
[ "$(jl 'select(.event == "device_taken" and .pass == 0) | .row' | sort | tr '\n' ' ')" = "0 1 " ] ||
  fail "the canary's pass: $(cat "$(journal)")"
# The simulator's record, a line per connection as it ended: the canary's two come first.
[ "$(jq -r .device "$WORK/record.jsonl" | head -n 2 | sort | tr '\n' ' ')" = "198.18.0.10 198.18.0.11 " ] ||
  fail "record: $(cat "$WORK/record.jsonl")"
[ "$(grep -c . "$WORK/record.jsonl")" -eq 8 ] || fail "record: $(cat "$WORK/record.jsonl")"
stop_devsim

# ---- no more devices than the canary: one batch, said so; the check off: said so, exit 0
start_devsim --first 198.18.0.10 --count 3 --burn-ms 20 --reboot-ms 300
upgrade --kernel "$WORK/2_kernel.img" --device 198.18.0.10 --device 198.18.0.11 --device 198.18.0.12 \
  --threads 3 --canary 5 --come-back 10 --json
expect_rc 0
grep -qxF "canary of 5: the batch has only 3 devices, so they are upgraded as one batch without a canary" "$WORK/err" ||
  fail "console: $(cat "$WORK/err")"
[ "$(jqv '"\(.totals.succeeded) \(.totals.came_back) \(.halted)"')" = "3 3 null" ] || fail "summary: $(cat "$WORK/out")"
upgrade --kernel "$WORK/2_kernel.img" --device 198.18.0.10 --device 198.18.0.11 --device 198.18.0.12 \
  --threads 3 --canary 1 --come-back 0 --json
expect_rc 0
grep -qxF "canary passed: 1 of 1 upgraded; the come-back check is off, so none was seen back (judged by the upgrade alone); the other 2 devices follow" "$WORK/err" ||
  fail "console: $(cat "$WORK/err")"
# Nobody is said to be back.
[ "$(jqv '[.devices[].came_back] | unique | .[]')" = null ] || fail "came_back: $(jqv .devices)"
stop_devsim

# ---- --resume keeps the rules of the batch it continues
start_devsim --first 198.18.0.10 --count 8 --burn-ms 20 --reboot-ms 300
upgrade --kernel "$WORK/2_kernel.img" "${devices[@]}" --threads 2 --canary 2 --max-failed 3 --come-back 10 --json
expect_rc 0
whole=$(journal)
# Cut before the canary's verdict: as if the batch had died while its canary came back.
cut_at=$(grep -n '"event":"batch_rule"' "$whole" | cut -d: -f1)
head -n $((cut_at - 1)) "$whole" >"$WORK/cut1.jsonl"
upgrade_in_run --resume "$WORK/cut1.jsonl" --come-back 10 --json
expect_rc 0
grep -qF "Canary of 2 from the batch resumed" "$WORK/err" || fail "console: $(cat "$WORK/err")"
grep -qF -- "--max-failed 3 from the batch resumed" "$WORK/err" || fail "console: $(cat "$WORK/err")"
[ "$(head -n 1 "$(journal)" | jq -c '[.settings.canary, .settings.max_failed, .continues]')" = \
  '[2,"3","cut1.jsonl"]' ] || fail "resumed start: $(head -n 1 "$(journal)")"
# The six devices still to do, the first two of them alone.
[ "$(jqv '.devices | length')" -eq 6 ] || fail "resumed: $(jqv .devices)"
grep -qxF "canary passed: 2 of 2 upgraded and back; the other 4 devices follow" "$WORK/err" || fail "console: $(cat "$WORK/err")"
# Cut after a verdict that passed: no canary again.
head -n $((cut_at + 1)) "$whole" >"$WORK/cut2.jsonl"
upgrade_in_run --resume "$WORK/cut2.jsonl" --come-back 10 --json
expect_rc 0
grep -qF "The canary of the batch resumed passed" "$WORK/err" || fail "console: $(cat "$WORK/err")"
[ "$(head -n 1 "$(journal)" | jq -c '[.settings.canary, .settings.max_failed]')" = '[0,"3"]' ] ||
  fail "resumed start: $(head -n 1 "$(journal)")"
grep -q "canary passed" "$WORK/err" && fail "a canary ran again: $(cat "$WORK/err")"
stop_devsim
echo "PASS"

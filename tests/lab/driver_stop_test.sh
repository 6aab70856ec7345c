#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Ctrl-C during a batch: the devices in hand finish, no other is begun, no retry pass runs, the
# end message reads "terminate". A second Ctrl-C ends the program at once. The same script runs
# quillon-cli.exe under Wine, which turns the SIGINT into the console's Ctrl-C; its console lines
# end in CR LF, so they are read without CR.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 1_boot.img 4000 6
start_devsim --first 198.18.0.10 --count 8 --burn-ms 2500 --reboot-ms 200

in_hand() {
  local n
  n=$(in_pc ss -Htn state established '( dport = :9800 )' | grep -c . || true)
  [ "$n" -ge "$1" ]
}

# run_in_background ARGS...: quillon-cli upgrade, its process id in CLI.
run_in_background() {
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run"
  cd "$WORK/run"
  # The lab script execs into the program, so $! is the program's own id.
  "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 "$@" >"$WORK/out" 2>"$WORK/err" &
  CLI=$!
  cd - >/dev/null
}

err() { tr -d '\r' <"$WORK/err"; }

run_in_background --boot "$WORK/1_boot.img" --threads 2 --auto-retry --json
wait_for 60 in_hand 2 || { kill -INT "$CLI"; fail "no device in hand: $(err)"; }
kill -INT "$CLI"
RC=0
wait "$CLI" || RC=$?
expect_rc 1
grep -q "^Stopping: the devices in hand finish" <<<"$(err)" || fail "no stop notice: $(err)"
grep -qx "The bulk upgrade process terminate !" <<<"$(err)" || fail "end message: $(err)"
[ "$(jqv .stopped)" = true ] || fail "stopped: $(jqv .stopped)"
[ "$(jqv .totals.passes)" -eq 1 ] || fail "a retry pass ran after the stop"
[ "$(jqv .totals.succeeded)" -eq 2 ] && [ "$(jqv .totals.not_started)" -eq 6 ] || fail "totals: $(jqv .totals)"
[ "$(report_msgs | grep -c "upgrade success")" -eq 2 ] || fail "report: $(report_msgs)"
[ "$(grep -c . "$WORK/record.jsonl")" -eq 2 ] || fail "a device was begun after the stop: $(cat "$WORK/record.jsonl")"

# Twice: the program ends at once, without waiting for the devices in hand.
sleep 0.5
run_in_background --boot "$WORK/1_boot.img" --threads 2
wait_for 60 in_hand 2 || { kill -INT "$CLI"; fail "no device in hand"; }
kill -INT "$CLI"
sleep 0.2
kill -INT "$CLI"
ended() { ! kill -0 "$CLI" 2>/dev/null; }
wait_for 2 ended || fail "a second Ctrl-C did not end the program at once"
RC=0
wait "$CLI" || RC=$?
expect_rc 130
grep -q "^Ended at once" <<<"$(err)" || fail "no notice: $(err)"

# A range scan stopped on request leaves addresses unvisited: never a clean exit, however the
# devices it reached did. (The devices of the run ended at once finish their burn first.)
sleep 3
run_in_background --boot "$WORK/1_boot.img" --range 198.18.0.10-17 --threads 2 --json
wait_for 60 in_hand 2 || { kill -INT "$CLI"; fail "no device in hand (range): $(err)"; }
kill -INT "$CLI"
RC=0
wait "$CLI" || RC=$?
expect_rc 1
[ "$(jqv .stopped)" = true ] || fail "stopped (range): $(jqv .stopped)"
[ "$(jqv .totals.succeeded)" -eq 2 ] || fail "totals (range): $(jqv .totals)"
echo "PASS"

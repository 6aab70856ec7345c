#!/usr/bin/env bash
# Ctrl-C under Wine: Wine turns the SIGINT that the test sends the program into the console's
# CTRL_C_EVENT, which reaches the handler set with SetConsoleCtrlHandler, as a Ctrl-C typed into a
# Windows console does. The first asks for the graceful stop (the devices in hand finish, none is
# begun, no retry pass), the second ends the program at once. The checks are the Linux stop test's
# (driver_stop_test.sh); the console's lines end in CR LF on Windows, so they are read without CR.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
source "$here/wine_common.sh"
lab_init

image 1_boot.img 4000 6
start_devsim --first 198.18.0.10 --count 8 --burn-ms 2500 --reboot-ms 200

in_hand() {
  local n
  n=$(in_pc ss -Htn state established '( dport = :9800 )' | grep -c . || true)
  [ "$n" -ge "$1" ]
}

# run_in_background ARGS...: quillon-cli.exe upgrade; CLI is the program's own process id (every
# step from the lab script to Wine's loader execs into the next).
run_in_background() {
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run"
  cd "$WORK/run"
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
err | grep -q "^Stopping: the devices in hand finish" || fail "no stop notice: $(err)"
err | grep -qx "The bulk upgrade process terminate !" || fail "end message: $(err)"
[ "$(jqv .stopped)" = true ] || fail "stopped: $(jqv .stopped)"
[ "$(jqv .totals.passes)" -eq 1 ] || fail "a retry pass ran after the stop"
[ "$(jqv .totals.succeeded)" -eq 2 ] && [ "$(jqv .totals.not_started)" -eq 6 ] || fail "totals: $(jqv .totals)"
[ "$(report_msgs | grep -c "upgrade success")" -eq 2 ] || fail "report: $(report_msgs)"
[ "$(grep -c . "$WORK/record.jsonl")" -eq 2 ] || fail "a device was begun after the stop: $(cat "$WORK/record.jsonl")"

# Twice: the program ends at once, without waiting for the devices in hand; the logs are whole.
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
err | grep -q "^Ended at once" || fail "no notice: $(err)"
wine_session_in_lab
echo "PASS"

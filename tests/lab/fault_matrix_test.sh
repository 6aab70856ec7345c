#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The fault matrix: every way a device can misbehave, in list and in range mode, with and without
# auto-retry (one fleet in which each device carries one fault, one batch per mode and retry
# setting), then faults of the network itself: the link cut mid-image, the simulator killed and
# restarted mid-batch, a flood of junk datagrams on the discovery port. For every device the JSON
# row, the user report and the summary must agree with what the fault should lead to; every
# device is reported once per pass in which it was tried; no batch outlives its bound.
# With FAULT_MATRIX_TABLE set, one line "fault|mode|expected|seen|pass" per case is appended there.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

# A hang is caught by the idle limit, a refused device costs its connect waits: both in every
# attempt of every pass, so they are short here.
export QUILLON_TEST_IDLE_MS=1000 QUILLON_TEST_CONNECT_MS=250
TABLE=${FAULT_MATRIX_TABLE:-/dev/null}
FAILED=0

# row FAULT MODE EXPECTED SEEN: one case of the table.
row() {
  local verdict=pass
  [ "$3" = "$4" ] || { verdict=FAIL; FAILED=$((FAILED + 1)); echo "MISMATCH: $1 ($2): expected '$3', seen '$4'" >&2; }
  echo "$1|$2|$3|$4|$verdict" >>"$TABLE"
}

# timed_upgrade BOUND ARGS...: the batch, ended by `timeout` after BOUND seconds (exit 124: the
# case fails). ELAPSED: its seconds.
CLI_REAL=$QL_CLI
QL_CLI=$WORK/bounded-cli
printf '#!/bin/sh\nexec timeout -k 5 "$BOUND" "%s" "$@"\n' "$CLI_REAL" >"$QL_CLI"
chmod +x "$QL_CLI"
timed_upgrade() {
  export BOUND=$1
  shift
  local t0=$SECONDS
  upgrade "$@" --json
  ELAPSED=$((SECONDS - t0))
  [ "$RC" -ne 124 ] && [ "$RC" -ne 137 ] || { echo "MISMATCH: batch ran past its bound of ${BOUND}s" >&2; FAILED=$((FAILED + 1)); }
}

# What each device of the fleet does wrong, and what must come of it. Outcome and passes:
#   list/range x once/retry. "success 2" = succeeded in pass 2.
N=12
declare -A FAULT EXPECT
FAULT[10]=none;           EXPECT[10]="success 1|success 1|success 1|success 1"
FAULT[11]=refuse;         EXPECT[11]="failure 1|failure 10|failure 1|failure 10"
FAULT[12]=drop=4096;      EXPECT[12]="failure 1|failure 10|failure 1|failure 10"
FAULT[13]=fail;           EXPECT[13]="failure 1|failure 10|failure 1|failure 10"
FAULT[14]=hang;           EXPECT[14]="failure 1|failure 10|failure 1|failure 10"
FAULT[15]=split;          EXPECT[15]="success 1|success 1|success 1|success 1"
FAULT[16]=junk;           EXPECT[16]="success 1|success 1|success 1|success 1"
# Range mode expects no MAC, so a second device on the address goes unseen there.
FAULT[17]=conflict;       EXPECT[17]="failure 1|failure 10|success 1|success 1"
# Burning takes longer than the idle limit; the B records keep the exchange alive.
FAULT[18]=burn-ms=2500;   EXPECT[18]="success 1|success 1|success 1|success 1"
# It took its image: a success, which the come-back check then reports as not back.
FAULT[19]=no-return;      EXPECT[19]="success 1|success 1|success 1|success 1"
# Three failed connections: all attempts of a list pass, the two of a range pass and one more.
FAULT[20]=fail-first=3;   EXPECT[20]="failure 1|success 2|failure 1|success 2"
# One failed connection: the next attempt of the same pass cures it.
FAULT[21]=fail-first=1;   EXPECT[21]="success 1|success 1|success 1|success 1"

image 2_kernel.img 20000 7
faults=()
for d in "${!FAULT[@]}"; do
  [ "${FAULT[$d]}" = none ] || faults+=(--fault "198.18.0.$d:${FAULT[$d]}")
done

# A value of the JSON summary, or "no summary" when the run left none.
jqs() { jq -r "$1" "$WORK/out" 2>/dev/null || echo "no summary"; }

# check_batch MODE RETRY COLUMN: compares the last run with column COLUMN of EXPECT.
check_batch() {
  local mode=$1 retry=$2 col=$3 label="$1 $2"
  local msgs
  msgs=$(report_msgs)
  local want_ok=0 want_fail=0 d ip want seen lines ok_lines
  for d in $(seq 10 21); do
    ip=198.18.0.$d
    want=$(cut -d'|' -f"$col" <<<"${EXPECT[$d]}")
    seen=$(jqs ".devices[] | select(.ip == \"$ip\") | \"\(.outcome) \(.passes)\"")
    # The report: one line per pass in which the device was tried, success only in the last.
    lines=$(grep -cE "upgrade (success|failure): IP: ?$ip MAC:" <<<"$msgs" || true)
    ok_lines=$(grep -cE "upgrade success: IP: ?$ip MAC:" <<<"$msgs" || true)
    local passes=${seen##* } out=${seen% *}
    if [ "$lines" != "$passes" ] || [ "$ok_lines" != "$([ "$out" = success ] && echo 1 || echo 0)" ]; then
      seen="$seen (report: $lines lines, $ok_lines success)"
    fi
    row "${FAULT[$d]}" "$label" "$want" "$seen"
    [ "${want% *}" = success ] && want_ok=$((want_ok + 1)) || want_fail=$((want_fail + 1))
  done
  local tot
  tot="$(jqs '"\(.totals.devices) \(.totals.succeeded) \(.totals.failed)"') rc=$RC"
  row "summary" "$label" "$N $want_ok $want_fail rc=$([ $want_fail -eq 0 ] && echo 0 || echo 1)" "$tot"
  [ "$(jqs .mode)" = "$mode" ] || row "mode" "$label" "$mode" "$(jqs .mode)"
}

col=1
for mode in list range; do
  for retry in once retry; do
    start_devsim --first 198.18.0.10 --count $N --burn-ms 30 --reboot-ms 200 "${faults[@]}"
    # The device that never comes back is waited for 3 s, not the 300 s of a real site.
    args=(--kernel "$WORK/2_kernel.img" --threads 10 --come-back 3)
    [ $mode = range ] && args+=(--range 198.18.0.10-21)
    [ $retry = retry ] && args+=(--auto-retry)
    bound=$([ $retry = retry ] && echo 150 || echo 40)
    timed_upgrade "$bound" "${args[@]}"
    echo "batch $mode $retry: ${ELAPSED}s" >&2
    check_batch $mode $retry $col
    stop_devsim
    col=$((col + 1))
  done
done

# ---- faults of the network: six clean devices, auto-retry; every device must end upgraded, with
# the image whole, and be reported once per pass in which it was tried.
NN=6
image 3_system.img 300000 9
sys_crc=$(image_crc "$WORK/3_system.img")

# net_check CASE: compares the last run with "every device succeeded, image received whole".
net_check() {
  local msgs seen ip d lines bad=""
  msgs=$(report_msgs)
  for d in $(seq 10 $((10 + NN - 1))); do
    ip=198.18.0.$d
    seen=$(jqs ".devices[] | select(.ip == \"$ip\") | \"\(.outcome) \(.passes)\"")
    lines=$(grep -cE "upgrade (success|failure): IP: ?$ip MAC:" <<<"$msgs" || true)
    [ "${seen% *}" = success ] && [ "$lines" = "${seen##* }" ] || bad+=" $ip:$seen/$lines"
    grep -q "\"received\":300000,\"digest\":\"$sys_crc\".*\"reboot_records\":1,.*\"result\":\"success\"" \
      <<<"$(cat "$WORK"/record*.jsonl | grep "\"device\":\"$ip\"")" || bad+=" $ip:not-received-whole"
  done
  local tot
  tot="$(jqs '"\(.totals.devices) \(.totals.succeeded) \(.totals.failed)"') rc=$RC"
  # What the tool said, when a case went wrong: the table alone does not tell why.
  [ -z "$bad" ] || { echo "--- exit code $RC; the tool's standard error:" >&2; tail -40 "$WORK/err" >&2
    echo "--- its standard output:" >&2; head -c 600 "$WORK/out" >&2; echo >&2; }
  row "$1" "list retry" "all $NN succeeded; $NN $NN 0 rc=0" "$([ -z "$bad" ] && echo "all $NN succeeded" || echo "bad:$bad"); $tot"
  echo "network $1: ${ELAPSED}s, passes $(jqs .totals.passes)" >&2
}

# established: TCP connections of the tool to the upgrade port right now.
established() { in_pc ss -Htn state established '( dport = :9800 )' | grep -c . || true; }
receiving() { [ "$(established)" -ge 3 ]; }

# bg_upgrade BOUND ARGS...: timed_upgrade in the background; bg_wait collects RC and ELAPSED.
bg_upgrade() {
  (FAILED=0; timed_upgrade "$@"; echo "$RC $ELAPSED $FAILED" >"$WORK/bg") &
  BG_PID=$!
}
bg_wait() {
  wait "$BG_PID" || true
  read -r RC ELAPSED f <"$WORK/bg"
  FAILED=$((FAILED + f))
}

devs=()
for d in $(seq 10 $((10 + NN - 1))); do devs+=(--device 198.18.0.$d); done

# Link cut: the image data crawl at 4 Mbit/s; once three devices are receiving, the devices' end
# of the link goes down for 2.5 s and comes back.
in_pc tc qdisc add dev lab0 root tbf rate 4mbit burst 32kb latency 300ms
start_devsim --first 198.18.0.10 --count $NN --burn-ms 100 --reboot-ms 200
bg_upgrade 120 --system "$WORK/3_system.img" --threads 6 --auto-retry "${devs[@]}"
wait_for 30 receiving || fail "no device began to receive"
in_dev ip link set lab0 down
sleep 2.5  # how long the link stays cut: the scenario, not a wait for a condition
in_dev ip link set lab0 up
bg_wait
in_pc tc qdisc del dev lab0 root
net_check "link cut 2.5 s mid-image"
stop_devsim

# The simulator killed (SIGKILL: no goodbye on any connection) while devices burn, and started
# again at once.
start_devsim --first 198.18.0.10 --count $NN --burn-ms 1500 --reboot-ms 200
bg_upgrade 120 --system "$WORK/3_system.img" --threads 6 --auto-retry "${devs[@]}"
wait_for 30 receiving || fail "no device began to receive"
kill -KILL "$DEVSIM_PID"
wait "$DEVSIM_PID" 2>/dev/null || true
DEVSIM_PID=""
mv "$WORK/record.jsonl" "$WORK/record-killed.jsonl" 2>/dev/null || true
start_devsim --first 198.18.0.10 --count $NN --burn-ms 100 --reboot-ms 200
bg_wait
net_check "simulator killed and restarted mid-batch"
stop_devsim

# A flood of junk on the discovery port, 10 000 datagrams a second for 10 s from the devices'
# side toward the tool, during a batch in list mode after a search: no junk row, no false
# conflict, every device upgraded.
start_devsim --first 198.18.0.10 --count $NN --burn-ms 300 --reboot-ms 200
in_dev timeout -k 2 14 python3 - >"$WORK/flood.log" 2>&1 <<'PY' &
import os, socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("198.18.0.10", 0))
kinds = [b"", b"<", b"<?xml version=\"1.0\"?><event><ack><ip>198.18.0.12</ip><mac>06:66:00:00:00:01</mac></ack>",
         b"<event>" * 500, b"\x00" * 1400]
sent, t0 = 0, time.monotonic()
while time.monotonic() - t0 < 10:
    for i in range(100):
        d = kinds[sent % len(kinds)] if sent % 2 else os.urandom(1 + sent % 1500)
        try:
            s.sendto(d, ("198.18.0.1", 8400))
        except OSError:
            pass
        sent += 1
    # paced to 10 000 a second
    lag = t0 + sent / 10000 - time.monotonic()
    if lag > 0:
        time.sleep(lag)
print(sent)
PY
FLOOD_PID=$!
bg_upgrade 120 --system "$WORK/3_system.img" --threads 3 --auto-retry
bg_wait
wait "$FLOOD_PID" || true
[ "$(jqs '.devices | length')" -eq $NN ] || row "junk flood rows" "list retry" "$NN" "$(jqs '[.devices[].ip] | join(" ")')"
net_check "junk flood on UDP 8400 ($(cat "$WORK/flood.log") datagrams)"
stop_devsim

[ "$FAILED" -eq 0 ] || fail "$FAILED cases differ from what they should be"
echo "PASS"

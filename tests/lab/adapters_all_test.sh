#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --adapter all: the tool's host has two adapters (lab0 with 198.18.0.1, lab1 with 198.19.0.1),
# each leading to its own fleet, and a container bridge "docker0" (one end of a veth pair whose
# other end is down, so it swallows what is sent to it) that the system lists before lab1. quillon-cli adapters and the
# desktop program's adapter list put docker0 after both site networks; a search on every
# adapter finds every device of both fleets once, each with its adapter (also a device that
# answers on both); the default adapter searches lab0 alone; a batch over both upgrades every
# device once and names each one's adapter.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init
[ -n "${QL_PLATFORM_TESTS:-}" ] || fail "QL_PLATFORM_TESTS not set"

DEVSIM2_PID=""
trap 'rc=$?; if [ -n "$DEVSIM2_PID" ]; then kill -TERM "$DEVSIM2_PID" 2>/dev/null || true; wait "$DEVSIM2_PID" 2>/dev/null || true; fi; (exit $rc); lab_cleanup' EXIT

# docker0 first, so that the system lists it before lab1; then the second site, on a second
# adapter of the tool's host (lab down removes both with the lab).
# Its far end stays down: what is sent through docker0 goes nowhere.
in_pc ip link add docker0 type veth peer name docker0-far || fail "docker0"
in_pc ip addr add 198.19.255.1/32 dev docker0 || fail "docker0 address"
in_pc ip link set docker0 up || fail "docker0 up"
"$QL_LAB" up2 "$LAB_ID" 3 >/dev/null || fail "lab up2"
system_order=$(in_pc ip -4 -o addr show | awk '{print $2}' | tr '\n' ' ')
[ "$system_order" = "lo lab0 docker0 lab1 " ] || fail "the system lists the adapters as: $system_order"
start_devsim --first 198.18.0.10 --count 4 --burn-ms 20 --reboot-ms 300
"$QL_LAB" exec-dev2 "$LAB_ID" "$QL_DEVSIM" --ready-file "$WORK/ready2" --record "$WORK/record2.jsonl" \
  --first 198.19.0.10 --count 3 --burn-ms 20 --reboot-ms 300 >"$WORK/devsim2.log" 2>&1 &
DEVSIM2_PID=$!
wait_for 20 test -f "$WORK/ready2" || fail "second simulator not ready: $(cat "$WORK/devsim2.log")"

site1="198.18.0.10 198.18.0.11 198.18.0.12 198.18.0.13"
site2="198.19.0.10 198.19.0.11 198.19.0.12"

# The adapters: the site networks, then the container bridge, then loopback; the first one is the
# default.
in_pc "$QL_CLI" adapters --json >"$WORK/adapters.json" || fail "adapters failed"
[ "$(jq -r '[.adapters[] | "\(.name)=\(.address)"] | join(" ")' "$WORK/adapters.json")" = \
  "lab0=198.18.0.1 lab1=198.19.0.1 docker0=198.19.255.1 lo=127.0.0.1" ] || fail "adapters: $(cat "$WORK/adapters.json")"
[ "$(jq -r .default "$WORK/adapters.json")" = lab0 ] || fail "default: $(cat "$WORK/adapters.json")"
[ "$(jq -r '.adapters[] | select(.name == "docker0") | "\(.up) \(.virtual)"' "$WORK/adapters.json")" = "true true" ] ||
  fail "docker0: $(cat "$WORK/adapters.json")"
in_pc "$QL_CLI" adapters >"$WORK/adapters.txt" || fail "adapters table"
grep -Eq "^lab0 +198\.18\.0\.1 +up, default$" "$WORK/adapters.txt" || fail "table: $(cat "$WORK/adapters.txt")"
# The desktop program's adapter box: list_ipv4_adapters in the same order, over this system.
in_pc "$QL_PLATFORM_TESTS" --gtest_filter='Adapters.SystemList*' >"$WORK/platform.log" 2>&1 ||
  fail "the adapter box's list is out of order here: $(cat "$WORK/platform.log")"

# While the search runs, 198.18.0.10 (MAC and all) answers on lab1 too: it is listed once.
in_dev2() { "$QL_LAB" exec-dev2 "$LAB_ID" "$@"; }
in_dev2 timeout -k 2 6 python3 - >"$WORK/twice.log" 2>&1 <<'PY' &
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("198.19.0.12", 0))
ack = (b"<event><active>search</active><type>ack</type><ip>198.18.0.10</ip><id>1019901</id>"
       b"<mac>02:51:C6:12:00:0A</mac><version>1.0.0</version></event>")
t0 = time.monotonic()
while time.monotonic() - t0 < 4:
    s.sendto(ack, ("198.19.0.1", 8400))
    time.sleep(0.05)
PY
TWICE_PID=$!
in_pc env QUILLON_TEST_TIMING=fast "$QL_CLI" search --adapter all --json >"$WORK/all.json" 2>"$WORK/all.err" ||
  fail "search --adapter all: $(cat "$WORK/all.err")"
wait "$TWICE_PID" || true
jq -e . "$WORK/all.json" >/dev/null || fail "not JSON: $(cat "$WORK/all.json")"
[ "$(jq -r .adapter "$WORK/all.json")" = all ] || fail "adapter: $(cat "$WORK/all.json")"
[ "$(jq -r '[.adapters[].name] | join(" ")' "$WORK/all.json")" = "lab0 lab1 docker0" ] ||
  fail "adapters searched: $(cat "$WORK/all.json")"
ips=$(jq -r '.devices[].ip' "$WORK/all.json" | sort | tr '\n' ' ')
[ "$ips" = "$site1 $site2 " ] || fail "devices found on every adapter: '$ips' ($(cat "$WORK/all.json"))"
for ip in $site1; do
  [ "$(jq -r --arg ip "$ip" '[.devices[] | select(.ip == $ip)] | length' "$WORK/all.json")" -eq 1 ] ||
    fail "$ip listed more than once"
done
for ip in $site1 $site2; do
  want=lab0
  [[ "$ip" == 198.19.* ]] && want=lab1
  got=$(jq -r --arg ip "$ip" '.devices[] | select(.ip == $ip) | .adapter' "$WORK/all.json")
  # 198.18.0.10 also answered on lab1; either adapter is true of it.
  if [ "$ip" = 198.18.0.10 ]; then [[ "$got" == lab0 || "$got" == lab1 ]] || fail "$ip: adapter $got"
  else [ "$got" = "$want" ] || fail "$ip: adapter $got, expected $want"; fi
done
grep -q "^Searching on lab0 (198.18.0.1), lab1 (198.19.0.1), docker0 (198.19.255.1) for " "$WORK/all.err" ||
  fail "search message: $(cat "$WORK/all.err")"
[ "$(grep -c . "$WORK/twice.log" || true)" -eq 0 ] || fail "the second answerer failed: $(cat "$WORK/twice.log")"

# The table shows each device's adapter.
in_pc env QUILLON_TEST_TIMING=fast "$QL_CLI" search --adapter all >"$WORK/all.txt" 2>/dev/null || fail "search table"
grep -Eq "^198\.19\.0\.11 .* lab1$" "$WORK/all.txt" || fail "table: $(cat "$WORK/all.txt")"

# No adapter named: the default, lab0, and its fleet only.
in_pc env QUILLON_TEST_TIMING=fast "$QL_CLI" search --json >"$WORK/default.json" 2>"$WORK/default.err" ||
  fail "search: $(cat "$WORK/default.err")"
[ "$(jq -r .adapter "$WORK/default.json")" = lab0 ] || fail "default adapter: $(cat "$WORK/default.json")"
[ "$(jq -r '.devices[].ip' "$WORK/default.json" | sort | tr '\n' ' ')" = "$site1 " ] ||
  fail "default search: $(cat "$WORK/default.json")"

# A batch over both adapters: every device once, the upgrade connections by the routing.
image 4_app.img 50000 3
app_crc=$(image_crc "$WORK/4_app.img")
mkdir -p "$WORK/run"
RC=0
(cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter all --fw "$WORK/4_app.img" \
  --threads 3 --come-back 20 --json) >"$WORK/out" 2>"$WORK/err" || RC=$?
expect_rc 0
[ "$(jqv .totals.devices)" -eq 7 ] && [ "$(jqv .totals.succeeded)" -eq 7 ] || fail "totals: $(jqv .totals)"
[ "$(jqv '[.devices[].ip] | sort | join(" ")')" = "$site1 $site2" ] || fail "devices: $(jqv '[.devices[].ip]')"
for ip in $site1 $site2; do
  want=lab0
  [[ "$ip" == 198.19.* ]] && want=lab1
  got=$(jqv ".devices[] | select(.ip == \"$ip\") | \"\(.adapter) \(.came_back)\"")
  [ "$got" = "$want true" ] || fail "$ip: '$got', expected '$want true'"
  recs=$(grep "\"device\":\"$ip\"" "$WORK/record.jsonl" "$WORK/record2.jsonl" || true)
  [ "$(grep -c . <<<"$recs")" -eq 1 ] || fail "$ip: expected one connection: $recs"
  grep -q "\"received\":50000,\"digest\":\"$app_crc\".*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: image not received whole: $recs"
done
grep -q "^Searching on lab0 (198.18.0.1), lab1 (198.19.0.1), docker0 (198.19.255.1) for " "$WORK/err" || fail "message: $(cat "$WORK/err")"
echo "PASS: --adapter all found and upgraded the 7 devices of both sites, each once, with its adapter"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The lab script itself: numbering, up/down (idempotent, nothing left behind, processes inside
# ended), refusing a second lab of the same id, the optional rate cap.
set -euo pipefail
lab=${QL_LAB:?}
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$("$lab" addr 0)" = 198.18.0.10 ] || fail "addr 0"
[ "$("$lab" addr 244)" = 198.18.0.254 ] || fail "addr 244"
[ "$("$lab" addr 245)" = 198.18.1.1 ] || fail "addr 245"
[ "$("$lab" addr 1999)" = 198.18.7.231 ] || fail "addr 1999: $("$lab" addr 1999)"
# The list agrees with the single addresses, across the skipped .255 and .0.
[ "$("$lab" addrs 2000 | sed -n '1p;245p;246p;2000p' | tr '\n' ' ')" = "198.18.0.10 198.18.0.254 198.18.1.1 198.18.7.231 " ] ||
  fail "addrs: $("$lab" addrs 2000 | sed -n '1p;245p;246p;2000p')"
[ "$("$lab" addrs 2000 | sort -u | grep -c .)" -eq 2000 ] || fail "addrs: not 2000 distinct addresses"

if [ "$(id -u)" -ne 0 ] || ! "$lab" check; then
  [ "${CI:-}" = true ] && fail "cannot create network namespaces under CI"
  echo "no network namespaces here: skipped"
  exit 77
fi

id="s$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
trap '"$lab" down "$id" >/dev/null 2>&1 || true' EXIT

"$lab" up "$id" 3 --rate 50mbit >/dev/null
ip netns list | grep -q "^ql-pc-$id\b" || fail "no pc namespace"
ip netns list | grep -q "^ql-dev-$id\b" || fail "no dev namespace"
if "$lab" up "$id" 3 2>/dev/null; then fail "second up of the same id succeeded"; fi
[ "$("$lab" exec-dev "$id" ip -4 -o addr show dev lab0 | grep -c 'inet 198.18.0.1[0-2]/')" -eq 3 ] ||
  fail "device addresses missing"
"$lab" exec-pc "$id" ip -4 -o addr show dev lab0 | grep -q "inet 198.18.0.1/24" || fail "tool address missing"
"$lab" exec-pc "$id" tc qdisc show dev lab0 | grep -q "tbf.*rate 50Mbit" || fail "no rate cap"
"$lab" exec-pc "$id" ping -c 1 -W 2 198.18.0.12 >/dev/null || fail "no echo across the veth"

# A second site: its own namespace and veth "lab1", 198.19.0.1 on the tool's side.
"$lab" up2 "$id" 2 >/dev/null || fail "up2"
ip netns list | grep -q "^ql-dev2-$id\b" || fail "no second devices' namespace"
if "$lab" up2 "$id" 2 2>/dev/null; then fail "second up2 of the same lab succeeded"; fi
"$lab" exec-pc "$id" ip -4 -o addr show dev lab1 | grep -q "inet 198.19.0.1/24" || fail "second tool address missing"
[ "$("$lab" exec-dev2 "$id" ip -4 -o addr show dev lab1 | grep -c 'inet 198.19.0.1[01]/')" -eq 2 ] ||
  fail "second site's device addresses missing"
"$lab" exec-pc "$id" ping -c 1 -W 2 198.19.0.11 >/dev/null || fail "no echo across the second veth"
"$lab" exec-pc "$id" ping -c 1 -W 2 198.18.0.11 >/dev/null || fail "the first site lost its route"
if "$lab" up2 "nosuchlab$id" 2 2>/dev/null; then fail "up2 without a lab succeeded"; fi
ip netns list | grep -q "^ql-dev2-nosuchlab" && fail "up2 without a lab left a namespace"
"$lab" exec-dev2 "$id" sleep 300 &
sleeper2=$!

# A process left inside does not keep the lab alive.
"$lab" exec-dev "$id" sleep 300 &
sleeper=$!
# Only once it is inside: a busy machine may still be starting it when down runs, and a process
# that enters the namespace after down has looked would outlive it for the whole sleep.
for _ in $(seq 100); do
  [ -n "$(ip netns pids "ql-dev-$id" 2>/dev/null)" ] && break
  sleep 0.05
done
[ -n "$(ip netns pids "ql-dev-$id" 2>/dev/null)" ] || fail "the process never entered the lab"
"$lab" down "$id"
wait "$sleeper" 2>/dev/null || true
kill -0 "$sleeper" 2>/dev/null && fail "process inside the lab survived down"
wait "$sleeper2" 2>/dev/null || true
kill -0 "$sleeper2" 2>/dev/null && fail "process inside the second site survived down"
ip netns list | grep -q -- "-$id\b" && fail "namespaces left after down"
"$lab" down "$id" || fail "second down failed"
if "$lab" up 'bad id' 3 2>/dev/null; then fail "bad id accepted"; fi
# A lab that fails half way is removed again.
if "$lab" up "$id" 3 --rate nonsense >/dev/null 2>&1; then fail "bad rate accepted"; fi
ip netns list | grep -q -- "-$id\b" && fail "namespaces left after a failed up"

echo "PASS"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# 50 simulated devices: a broadcast search from the tool's side finds each of them exactly once,
# each answer coming from its device's own address; a directed search gets exactly one answer.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
lab_init

start_devsim --first 198.18.0.10 --count 50

expected=$(for i in $(seq 0 49); do "$QL_LAB" addr "$i"; done | sort)

check_broadcast() {  # $1: label, rest: probe options
  local label=$1
  shift
  local out
  out=$(in_pc "$QL_PROBE" search --window-ms 2000 "$@")
  local got
  got=$(awk '{print $2}' <<<"$out" | sort)
  [ "$(wc -l <<<"$out")" -eq 50 ] || fail "$label: $(wc -l <<<"$out") answers, expected 50:
$out"
  [ "$got" = "$expected" ] || fail "$label: the answering addresses differ from the fleet"
  # Every answer comes from the address it names.
  awk '$1 != $2 {bad=1} END {exit bad}' <<<"$out" || fail "$label: an answer from a foreign address"
  echo "$label: 50 devices, each once"
}

# From a wildcard-bound socket (the routes let it reach 255.255.255.255) and from a socket bound
# to the tool's address and the discovery port, as the tool's two sockets are.
check_broadcast "wildcard socket"
check_broadcast "bound socket" --bind 198.18.0.1 --bind-port 8400

out=$(in_pc "$QL_PROBE" search --to 198.18.0.25 --window-ms 800)
[ "$(wc -l <<<"$out")" -eq 1 ] || fail "directed search: expected one answer, got:
$out"
read -r from ip id mac version <<<"$out"
[ "$from" = 198.18.0.25 ] && [ "$ip" = 198.18.0.25 ] || fail "directed search answered by $from ($ip)"
[ "$mac" = 02:51:C6:12:00:19 ] || fail "unexpected MAC $mac"
[ "$version" = 1.0.0 ] || fail "unexpected version $version"
echo "directed search: one answer from 198.18.0.25"

# Nobody sits at an address outside the fleet.
out=$(in_pc "$QL_PROBE" search --to 198.18.0.200 --window-ms 500)
[ -z "$out" ] || fail "answer for an address without a device: $out"

stop_devsim
grep -q "3 searches" "$WORK/devsim.log" || fail "simulator counted other searches: $(tail -1 "$WORK/devsim.log")"
echo "PASS"

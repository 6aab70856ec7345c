#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# quillon-devsim as a program, on loopback: start-up errors are clear and stop it, a device
# serves an upgrade, SIGTERM and SIGINT end it cleanly.
set -euo pipefail
devsim=${QL_DEVSIM:?}
probe=${QL_PROBE:?}
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/quillon-devsim-prog.XXXXXX)
pid=""
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

grep -q -- "--fault" <<<"$("$devsim" --help)" || fail "--help"
expect_usage_error() {  # exit code 2 and a message naming the problem
  local want=$1
  shift
  local rc=0
  "$devsim" "$@" >"$work/out" 2>&1 || rc=$?
  [ $rc -eq 2 ] || fail "'$*' ended with $rc, expected 2"
  grep -q -- "$want" "$work/out" || fail "'$*' said: $(cat "$work/out")"
}
expect_usage_error "no devices"
expect_usage_error "not an IPv4 address" --first 300.1.1.1 --count 1
expect_usage_error "bad fault" --first 127.0.0.10 --count 1 --fault 127.0.0.10:melt
printf '127.0.0.10 colour=red\n' >"$work/fleet.txt"
expect_usage_error "fleet.txt:1" --fleet "$work/fleet.txt"

# Addresses not on this machine: a clear error, exit 1.
rc=0
"$devsim" --first 198.51.100.10 --count 1 --upgrade-port 1 >"$work/out" 2>&1 || rc=$?
[ $rc -eq 1 ] && grep -q "cannot bind" "$work/out" || fail "unbindable address: rc $rc, $(cat "$work/out")"

base="127.$((64 + RANDOM % 128)).$((RANDOM % 250))"
start() {  # start SIGNAL-to-stop-with: tries a few random ports
  for _ in 1 2 3 4 5; do
    dport=$((20000 + RANDOM % 30000))
    uport=$((20000 + RANDOM % 30000))
    rm -f "$work/ready"
    "$devsim" --first "$base.10" --count 3 --discovery-port "$dport" --upgrade-port "$uport" \
      --burn-ms 0 --record "$work/record.jsonl" --ready-file "$work/ready" >"$work/log" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      [ -f "$work/ready" ] && return 0
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    wait "$pid" 2>/dev/null || true
    pid=""
  done
  fail "simulator did not start: $(cat "$work/log")"
}

start
out=$("$probe" search --to "$base.11" --port "$dport" --window-ms 500)
[ "$(awk '{print $1}' <<<"$out")" = "$base.11" ] || fail "directed search: $out"
out=$("$probe" upgrade "$base.12" --port "$uport" --size 5000) || fail "upgrade: $out"
grep -q "F1$" <<<"$out" || fail "upgrade records: $out"
grep -q "\"device\":\"$base.12\".*\"result\":\"success\"" "$work/record.jsonl" || fail "record: $(cat "$work/record.jsonl")"
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
pid=""
[ $rc -eq 0 ] || fail "SIGTERM: exit $rc"
grep -q "stopped (SIGTERM); 1 searches, 1 answers, 1 connections, 1 images written" "$work/log" ||
  fail "summary: $(tail -1 "$work/log")"

start
kill -INT "$pid"
rc=0
wait "$pid" || rc=$?
pid=""
[ $rc -eq 0 ] || fail "SIGINT: exit $rc"
echo PASS

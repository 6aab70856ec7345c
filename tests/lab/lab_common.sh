# SPDX-License-Identifier: Apache-2.0
# Shared by the lab test scripts (sourced). Needs QL_LAB, QL_LAB_STATE, QL_DEVSIM, QL_PROBE.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

# Reads the fixture's lab id into LAB_ID; a skipped fixture skips the test.
lab_init() {
  if [ -f "$QL_LAB_STATE/skipped" ]; then
    [ "${CI:-}" = true ] && fail "the lab could not be set up"
    echo "lab not available here: skipped"
    exit 77
  fi
  [ -f "$QL_LAB_STATE/id" ] || fail "no lab (its set-up test did not run or failed)"
  LAB_ID=$(cat "$QL_LAB_STATE/id")
  WORK=$(mktemp -d /tmp/quillon-labtest.XXXXXX)
  DEVSIM_PID=""
  trap lab_cleanup EXIT
}

lab_cleanup() {
  local rc=$?
  if [ -n "$DEVSIM_PID" ]; then
    kill -TERM "$DEVSIM_PID" 2>/dev/null || true
    wait "$DEVSIM_PID" 2>/dev/null || true
  fi
  if [ $rc -ne 0 ] && [ -f "$WORK/devsim.log" ]; then
    echo "--- simulator log" >&2
    tail -n 30 "$WORK/devsim.log" >&2
  fi
  rm -rf "$WORK"
  exit $rc
}

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds or the time is up.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

# start_devsim ARGS...: the simulator in the devices' namespace; returns once it is serving.
start_devsim() {
  # The previous simulator's ready file would let the test go on before this one has bound its
  # sockets (seen as a search nobody heard when the simulator was slow to start).
  rm -f "$WORK/ready"
  "$QL_LAB" exec-dev "$LAB_ID" "$QL_DEVSIM" --ready-file "$WORK/ready" --record "$WORK/record.jsonl" "$@" \
    >"$WORK/devsim.log" 2>&1 &
  DEVSIM_PID=$!
  wait_for 20 test -f "$WORK/ready" || fail "simulator not ready: $(cat "$WORK/devsim.log")"
}

# stop_devsim: SIGTERM, and it must end by itself, cleanly.
stop_devsim() {
  kill -TERM "$DEVSIM_PID"
  local rc=0
  wait "$DEVSIM_PID" || rc=$?
  DEVSIM_PID=""
  [ $rc -eq 0 ] || fail "simulator ended with $rc on SIGTERM"
}

in_pc() { "$QL_LAB" exec-pc "$LAB_ID" "$@"; }
in_dev() { "$QL_LAB" exec-dev "$LAB_ID" "$@"; }

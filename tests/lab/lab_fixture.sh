#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sets a lab up for a CTest fixture and tears it down again.
#   lab_fixture.sh up STATE_DIR NDEV     new lab, id written to STATE_DIR/id
#   lab_fixture.sh down STATE_DIR        removes it (also after a failed or killed run)
# Without the rights to create network namespaces: exit 77 (skipped), or failure when CI=true.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lab="$here/../../tools/lab/lab"

cmd=${1:-}
state=${2:-}
[ -n "$state" ] || { echo "usage: lab_fixture.sh up|down STATE_DIR [NDEV]" >&2; exit 2; }

case "$cmd" in
  up)
    ndev=${3:?NDEV missing}
    # A run killed before its cleanup leaves its lab behind: remove it first.
    if [ -f "$state/id" ]; then
      "$lab" down "$(cat "$state/id")" || true
    fi
    rm -rf "$state"
    mkdir -p "$state"
    if [ "$(id -u)" -ne 0 ] || ! "$lab" check; then
      if [ "${CI:-}" = true ]; then
        echo "lab: cannot create network namespaces, and CI needs the lab tests" >&2
        exit 1
      fi
      echo "cannot create network namespaces here (needs root): lab tests skipped" | tee "$state/skipped"
      exit 77
    fi
    id="t$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
    echo "$id" >"$state/id"
    "$lab" up "$id" "$ndev"
    ;;
  down)
    if [ -f "$state/id" ]; then
      "$lab" down "$(cat "$state/id")"
    fi
    rm -rf "$state"
    ;;
  *)
    echo "usage: lab_fixture.sh up|down STATE_DIR [NDEV]" >&2
    exit 2
    ;;
esac

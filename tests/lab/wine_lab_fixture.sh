#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The lab of the Wine tests, with its Wine session inside the tool's namespace.
#   wine_lab_fixture.sh up STATE_DIR NDEV     a lab (lab_fixture.sh), then the wineserver of the
#                                             prefix WINEPREFIX started in ql-pc-ID and warmed up
#                                             with one run of quillon-cli.exe --version
#   wine_lab_fixture.sh down STATE_DIR        ends the Wine session, removes the lab
# Environment: WINEPREFIX, QL_WINE_RUN, QL_CLI (wine_cli.sh), QL_CLI_EXE.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lab="$here/../../tools/lab/lab"
wineserver=${QUILLON_WINESERVER:-/usr/lib/wine/wineserver}
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$here/wine_common.sh"

cmd=${1:-}
state=${2:-}
[ -n "$state" ] && [ -n "${WINEPREFIX:-}" ] || { echo "usage: WINEPREFIX=... wine_lab_fixture.sh up|down STATE_DIR [NDEV]" >&2; exit 2; }

stop_session() { WINEPREFIX=$WINEPREFIX "$here/../../cmake/wine-prefix" stop "$WINEPREFIX"; }

case "$cmd" in
  up)
    [ -f "$WINEPREFIX/system.reg" ] || fail "no Wine prefix in $WINEPREFIX (the wine_prefix test makes it)"
    # No session of this prefix may be left from an earlier run: its server would be in another namespace.
    stop_session
    rc=0
    bash "$here/lab_fixture.sh" up "$state" "${3:?NDEV missing}" || rc=$?
    [ $rc -eq 0 ] || exit $rc
    LAB_ID=$(cat "$state/id")
    t0=$SECONDS
    # -p: the server stays between the tests' programs (their start is what Wine costs most).
    # The server and the services the first program starts outlive this script: none of them may
    # hold its output open, or the test would not end before the session does.
    "$lab" exec-pc "$LAB_ID" env WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all "$wineserver" -p \
      </dev/null >/dev/null 2>&1
    "$lab" exec-pc "$LAB_ID" "$QL_CLI" --version </dev/null >"$state/warm-up.log" 2>&1 ||
      fail "quillon-cli.exe --version failed under Wine: $(cat "$state/warm-up.log")"
    tr -d '\r' <"$state/warm-up.log"
    wine_session_in_lab
    echo "Wine session in ql-pc-$LAB_ID ready in $((SECONDS - t0)) s"
    ;;
  down)
    rc=0
    if [ -f "$state/id" ]; then
      LAB_ID=$(cat "$state/id")
      (wine_session_in_lab) || rc=1
    fi
    stop_session
    bash "$here/lab_fixture.sh" down "$state"
    exit $rc
    ;;
  *)
    echo "usage: wine_lab_fixture.sh up|down STATE_DIR [NDEV]" >&2
    exit 2
    ;;
esac

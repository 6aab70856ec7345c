#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# quillon-cli.exe under Wine, for the lab scripts (QL_CLI=this script). It runs only inside a lab's
# tool namespace: Wine makes a program's sockets in its wineserver, and the lab's Wine session
# (wine_lab_fixture.sh) keeps that server in the same namespace.
# Environment: QL_CLI_EXE (the program), QL_WINE_RUN (cmake/wine-run), WINEPREFIX (the lab's prefix).
ns=$(ip netns identify $$ 2>/dev/null)
case "$ns" in
  ql-pc-*) ;;
  *) echo "wine_cli.sh: runs only in a lab's tool namespace (here: '${ns:-the machine's own}')" >&2; exit 125 ;;
esac
# UTF-8 for the names Wine passes between Linux and the program (arguments, file names); the
# language rule then sees no Chinese system, as the Linux tests expect.
export LC_ALL=C.UTF-8
exec "$QL_WINE_RUN" "$QL_CLI_EXE" "$@"

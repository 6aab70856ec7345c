#!/usr/bin/env bash
# The tool's own search in the lab: 50 simulated devices, each listed exactly once (the tool's
# own request, which comes back on its wildcard socket, adds nothing).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
lab_init
[ -n "${QL_CLI:-}" ] || fail "QL_CLI not set"
command -v jq >/dev/null || fail "jq missing (scripts/setup installs it)"

start_devsim --first 198.18.0.10 --count 50

in_pc "$QL_CLI" search --adapter lab0 --json >"$WORK/search.json" 2>"$WORK/search.err" ||
  fail "quillon-cli search failed: $(cat "$WORK/search.err")"
# Every object carrying an "ip" is one listed device, wherever the document puts them.
ips=$(jq -r '[.. | objects | select(has("ip")) | .ip] | .[]' "$WORK/search.json" | sort)
count=$(grep -c . <<<"$ips" || true)
unique=$(sort -u <<<"$ips" | grep -c . || true)
expected=$(for i in $(seq 0 49); do "$QL_LAB" addr "$i"; done | sort)
[ "$count" -eq 50 ] || fail "quillon-cli listed $count devices, expected 50: $(cat "$WORK/search.json")"
[ "$unique" -eq 50 ] || fail "quillon-cli listed a device twice"
[ "$ips" = "$expected" ] || fail "quillon-cli listed other addresses than the fleet's"
echo "PASS: quillon-cli search listed 50 devices, each once"

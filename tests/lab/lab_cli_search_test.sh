#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
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
ips=$(jq -r '.devices[].ip' "$WORK/search.json" | sort)
count=$(grep -c . <<<"$ips" || true)
unique=$(sort -u <<<"$ips" | grep -c . || true)
expected=$(for i in $(seq 0 49); do "$QL_LAB" addr "$i"; done | sort)
[ "$count" -eq 50 ] || fail "quillon-cli listed $count devices, expected 50: $(cat "$WORK/search.json")"
[ "$unique" -eq 50 ] || fail "quillon-cli listed a device twice"
[ "$ips" = "$expected" ] || fail "quillon-cli listed other addresses than the fleet's"
# What the devices said arrives unchanged.
first=$(jq -c '.devices[] | select(.ip == "198.18.0.10") | [.id, .mac, .version]' "$WORK/search.json")
[ "$first" = '["1019901","02:51:C6:12:00:0A","1.0.0"]' ] || fail "198.18.0.10 listed as $first"
[ "$(jq -r '.adapter' "$WORK/search.json")" = lab0 ] || fail "adapter not lab0"
echo "PASS: quillon-cli search listed 50 devices, each once"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# bench/run --quick over the fixture's lab: one JSON line per scenario (two for the transfer, one
# per link rate), each with its figures and a judgement for every target, and the summing-up
# table. Scenarios that need a program this build lacks must say so instead of going missing.
#   bench_smoke_test.sh BUILD_DIR
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
lab_init
build=${1:?build folder}
command -v jq >/dev/null || fail "jq missing (scripts/setup installs it)"

ndev=4
bash "$here/../../bench/run" --quick --no-build --build "$build" --lab "$LAB_ID" --lab-devices "$ndev" \
  --out "$WORK/results.jsonl" >"$WORK/stdout" 2>"$WORK/stderr" ||
  fail "bench/run failed: $(tail -20 "$WORK/stderr")"

results=$WORK/results.jsonl
jq -e . "$results" >/dev/null || fail "not JSON lines: $(cat "$results")"
count() { jq -s --arg s "$1" '[.[] | select(.scenario == $s)] | length' "$results"; }
# line SCENARIO: that scenario's line (the first one). holds SCENARIO FILTER: FILTER is true of it.
line() { jq -c --arg s "$1" 'select(.scenario == $s)' "$results" | head -1; }
holds() { line "$1" | jq -e "$2" >/dev/null; }
[ "$(count transfer)" -eq 2 ] || fail "transfer: expected a line per link rate: $(cat "$results")"
for s in fleet memory package_import range discovery window window_batch come_back checksum; do
  [ "$(count "$s")" -eq 1 ] || fail "$s: expected one line, got $(count "$s")"
done

# A line is either a scenario that ran, with every target judged, or one that names what is missing.
bad=$(jq -c 'select(
    (.status == "missing" and ((.why // "") | length) == 0) or
    (.status != "missing" and ((.figures | type) != "object" or (.checks | length) == 0 or
      any(.checks[]; (.met | type) != "boolean") or (.pass | type) != "boolean" or
      (.machine.cores | type) != "number")))' "$results")
[ -z "$bad" ] || fail "malformed lines: $bad"

# What the quick run can be held to whatever the machine's speed: every device was upgraded and
# found, once each.
holds discovery ".figures.listed == $ndev and .figures.duplicates == 0" || fail "discovery: $(line discovery)"
# Every device of the come-back wait accounted for, once (when the window benchmark is built).
holds come_back '.status == "missing" or (.figures.back == .params.devices and .figures.reported_twice == 0)' ||
  fail "come_back: $(line come_back)"
if grep -q "^  upgrade " <<<"$("$build/src/cli/quillon-cli" --help 2>/dev/null)"; then
  for s in fleet memory range; do
    holds "$s" '.status != "missing"' || fail "$s missing although quillon-cli can upgrade: $(line "$s")"
  done
  holds fleet '.figures.devices_succeeded == .params.devices and .figures.images_received_ok == .params.devices * .params.images' ||
    fail "fleet: $(line fleet)"
  holds range '.figures.devices_succeeded == .params.answering' || fail "range: $(line range)"
  # The CPU without interrupts, where it could be traced, is a part of the whole.
  holds fleet '.figures.own_cpu_s_per_gib == null or
      (.figures.own_cpu_s_per_gib >= 0 and .figures.own_cpu_s_per_gib <= .figures.cpu_s_per_gib)' ||
    fail "fleet CPU without interrupts: $(line fleet)"
fi
# Every line says how much of the machine the host took meanwhile (null only for no time at all).
bad=$(jq -c 'select((.machine_steal_share | type) as $t | $t != "number" and $t != "null")' "$results")
[ -z "$bad" ] || fail "lines without the steal share: $bad"


# The package import ran whole in the build that has it: its figures are there, both judged.
if ! holds package_import '.status == "missing"'; then
  holds package_import '.figures.import_s > 0 and .figures.unzip_s > 0 and .figures.import_peak_rss_mib > 0 and
      (.checks | length) == 2' || fail "package_import: $(line package_import)"
fi

# The desktop program's batch, when it is built: every listed device upgraded through the window.
if ! holds window_batch '.status == "missing"'; then
  holds window_batch '.figures.devices_succeeded == .params.devices and .figures.rows_listed == .params.devices and
      .figures.images_received_ok == .params.devices * .params.images and .figures.ticks > 0' ||
    fail "window_batch: $(line window_batch)"
fi

# The table: a header and a row per judged figure or missing scenario.
grep -q "^scenario  *figure  *value  *target  *result" "$WORK/stdout" || fail "no table: $(cat "$WORK/stdout")"
rows=$(jq -s '[.[] | if .status == "missing" then 1 else (.checks | length) end] | add' "$results")
[ "$(grep -cE '(ok|MISSED|MISSING: .*)$' "$WORK/stdout")" -ge "$rows" ] || fail "table rows: $(cat "$WORK/stdout")"
# No lab or qdisc is left behind by the harness in the fixture's lab.
in_pc tc qdisc show dev lab0 | grep -q tbf && fail "bench/run left its rate on the lab"
echo "PASS: bench/run produced every scenario line"

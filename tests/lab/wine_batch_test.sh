#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# One list-mode batch with auto-retry, run by the Linux quillon-cli and by quillon-cli.exe under
# Wine against a fresh simulator each: .10 plain, .11 answers every search twice with another MAC
# (a conflict: never upgraded), .12 splits its records into single bytes, .13 fails its first three
# connections (succeeds in pass 2), .14 answers F 0 for every image. Both systems must write the
# same report lines, byte for byte, and the same summary; every device that succeeded received
# exactly the images' data. The wall times of both runs are printed side by side.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
source "$here/wine_common.sh"
lab_init
[ -x "${QL_LINUX_CLI_LAB:-}" ] || fail "QL_LINUX_CLI_LAB (the Linux quillon-cli-lab) not set"

image 1_boot.img 20000 1
image 4_app.img 300000 2 90
boot_crc=$(image_crc "$WORK/1_boot.img")
app_crc=$(image_crc "$WORK/4_app.img")
faults=(--fault 198.18.0.11:conflict --fault 198.18.0.12:split --fault 198.18.0.13:fail-first=3
        --fault 198.18.0.14:fail)

# batch NAME CLI: the batch with that program; its files in $WORK/NAME.*, its wall time in WALL_<NAME>.
batch() {
  local name=$1 t0
  QL_CLI=$2
  start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 200 --split-pause-ms 1 "${faults[@]}"
  t0=$(date +%s.%N)
  upgrade --boot "$WORK/1_boot.img" --fw "$WORK/4_app.img" --threads 3 --auto-retry --json
  printf -v "WALL_$name" '%s' "$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')"
  stop_devsim
  expect_rc 1
  cp "$WORK/out" "$WORK/$name.json"
  tr -d '\r' <"$WORK/err" >"$WORK/$name.err"
  cp "$WORK/run/log/upgrade_user.html" "$WORK/$name.html"
  cp "$WORK/record.jsonl" "$WORK/$name.records"
}

# The report's lines without their time stamps, counted, in order of their text (the workers
# interleave). The conflicting device's MAC is whichever of its two answers the search listed
# first; the intake's conflict lines come once per answer that arrived while a check ran, so they
# are compared without their count.
report_lines() {
  sed -E 's/^<pre>\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] /<pre>/' "$1" |
    sed -E '/IP:198\.18\.0\.11 /s/MAC2?:[0-9A-F:]+/MAC:(either)/g' | sort | uniq -c |
    sed -E 's/^ *[0-9]+ (<pre>\[USR\] ipaddress conflict)/\1/'
}
# The summary without times and paths (a Windows path names the same file otherwise).
summary() {
  jq -S 'del(.. | .elapsed_s?) | .report |= "(report)" | .devices |= sort_by(.ip) | .needs_attention |= sort_by(.ip)
         | (.. | objects | select(has("path")) | .path) |= (split("/") | last | split("\\") | last)
         | (.devices[] | select(.ip == "198.18.0.11") | .mac) |= "(either)"
         | (.needs_attention[] | select(.ip == "198.18.0.11") | .mac) |= "(either)"' "$1"
}

# Both with the lab's shortened timings (driver_common.sh asks for them).
batch linux "$QL_LINUX_CLI_LAB"
batch windows "$QL_CLI_LAB"
echo "TIMING batch wall time: Linux ${WALL_linux} s, Windows under Wine ${WALL_windows} s"

diff <(report_lines "$WORK/linux.html") <(report_lines "$WORK/windows.html") >&2 ||
  fail "the report lines differ (< Linux, > Windows)"
diff <(summary "$WORK/linux.json") <(summary "$WORK/windows.json") >&2 ||
  fail "the summaries differ (< Linux, > Windows)"
grep -q $'\r' "$WORK/windows.html" && fail "line ends in the Windows report differ from Linux"

# What the Windows run did, by itself (the comparison would let a fault both share pass).
out=$WORK/windows.json
w() { jq -r "$1" "$out"; }
[ "$(w .totals.passes)" -eq 10 ] || fail "passes: $(w .totals)"
[ "$(w '[.devices[] | "\(.ip) \(.outcome) \(.passes)"] | sort | join(",")')" = \
  "198.18.0.10 success 1,198.18.0.11 failure 10,198.18.0.12 success 1,198.18.0.13 success 2,198.18.0.14 failure 10,198.18.0.15 success 1" ] ||
  fail "outcomes: $(w .devices)"
msgs=$(sed -E 's/^<pre>\[[^]]*\] //; s#</pre>$##' "$WORK/windows.html")
grep -q "^\[USR\] upgrade error: ipaddr conflict, IP:198.18.0.11 MAC:" <<<"$msgs" || fail "no conflict line: $msgs"
[ "$(grep -c "^\[SEARCH\] upgrade failure: IP:198.18.0.14 MAC:$(sim_mac 198.18.0.14)$" <<<"$msgs")" -eq 10 ] ||
  fail "F 0 of .14 in every pass: $msgs"
grep -q '"device":"198.18.0.11"' "$WORK/windows.records" && fail "an image went to the conflicting address"
for ip in 198.18.0.10 198.18.0.12 198.18.0.13 198.18.0.15; do
  recs=$(grep "\"device\":\"$ip\"" "$WORK/windows.records" | grep '"result":"success"' || true)
  grep -q "\"received\":20000,\"digest\":\"$boot_crc\".*\"checksum\":\"ok\"" <<<"$recs" ||
    fail "$ip: BOOT image not received whole: $recs"
  grep -q "\"received\":300000,\"digest\":\"$app_crc\".*\"checksum\":\"ok\".*\"reboot_records\":1," <<<"$recs" ||
    fail "$ip: FW image or its reboot request missing: $recs"
done
grep -qx "The bulk upgrade process stop !" "$WORK/windows.err" || fail "end message: $(cat "$WORK/windows.err")"
echo "PASS"

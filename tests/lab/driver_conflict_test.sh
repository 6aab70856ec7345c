#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# An address conflict: .11 answers every search twice, the second time with another MAC. Before
# each image the tool asks the address to identify itself, sees the MAC it does not expect, and
# sends nothing: the device fails with the USR lines. Once the other device is gone (the
# simulator restarted with only the device the list knows), the retry pass upgrades .11.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 4_app.img 6000 5
# .12 burns slowly, so the first pass is still running when .11 has failed: there is time to take
# the other device away before the retry pass.
start_devsim --first 198.18.0.10 --count 3 --burn-ms 30 --reboot-ms 200 \
  --fault 198.18.0.11:conflict --fault 198.18.0.12:burn-ms=8000

rm -rf "$WORK/run"
mkdir -p "$WORK/run"
(cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 \
  --fw "$WORK/4_app.img" --threads 3 --auto-retry --json) >"$WORK/out" 2>"$WORK/err" &
cli=$!
failed_once() { grep -q "upgrade failure: IP:198.18.0.11 " "$WORK/run/log/upgrade_user.html" 2>/dev/null; }
wait_for 60 failed_once || { kill -INT "$cli"; fail "no failure of .11 in the first pass: $(cat "$WORK/err")"; }

# Which of the two answers the search listed first decides the MAC the list expects; the device
# with that MAC is the one that stays.
msgs=$(report_msgs)
listed=$(sed -n 's/^\[USR\] upgrade error: ipaddr conflict, IP:198.18.0.11 MAC:\([0-9A-F:]*\)$/\1/p' <<<"$msgs" | head -n 1)
[ -n "$listed" ] || { kill -INT "$cli"; fail "no conflict line from the check: $msgs"; }
stop_devsim
cp "$WORK/record.jsonl" "$WORK/record1.jsonl"
echo "198.18.0.11 mac=$listed" >"$WORK/fleet.txt"
start_devsim --first 198.18.0.10 --count 3 --burn-ms 30 --reboot-ms 200 --fleet "$WORK/fleet.txt"
RC=0
wait "$cli" || RC=$?

expect_rc 0
msgs=$(report_msgs)
other=$(sed -n 's/^\[USR\] ipaddress conflict, IP:198.18.0.11 MAC:\([0-9A-F:]*\) MAC2:'"$listed"'$/\1/p' <<<"$msgs" | head -n 1)
[ -n "$other" ] && [ "$other" != "$listed" ] || fail "no conflict line from the intake naming both MACs: $msgs"
# The one image had three attempts in the first pass, each stopped by the check.
[ "$(grep -c "^\[USR\] upgrade error: ipaddr conflict, IP:198.18.0.11 MAC:$listed$" <<<"$msgs")" -eq 3 ] ||
  fail "attempts: $msgs"
grep -qx "\[SEARCH\] upgrade failure: IP:198.18.0.11 MAC:$listed" <<<"$msgs" || fail "no failure line: $msgs"
grep -qx "\[SEARCH\] upgrade success: IP:198.18.0.11 MAC:$listed" <<<"$msgs" || fail "no success in the retry pass: $msgs"
# Nothing was sent to the address while two devices claimed it.
grep -q '"device":"198.18.0.11"' "$WORK/record1.jsonl" &&
  fail "an image was sent despite the conflict: $(cat "$WORK/record1.jsonl")"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.11") | "\(.outcome) \(.passes)"')" = "success 2" ] ||
  fail ".11 in the summary: $(jqv .devices)"
[ "$(jqv .totals.succeeded)" -eq 3 ] || fail "totals: $(jqv .totals)"
grep -q "\"device\":\"198.18.0.11\".*\"digest\":\"$(image_crc "$WORK/4_app.img")\".*\"result\":\"success\"" "$WORK/record.jsonl" ||
  fail ".11 did not get the image: $(cat "$WORK/record.jsonl")"
echo "PASS"

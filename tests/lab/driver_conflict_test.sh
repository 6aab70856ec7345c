#!/usr/bin/env bash
# An address conflict: .11 answers every search twice, the second time with another MAC. Before
# each image the tool asks the address to identify itself, sees the second MAC, and does not send:
# the device fails with the USR lines. Once the second device is gone (the simulator restarted
# without it), the retry pass upgrades .11.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 4_app.img 6000 5
# .12 burns slowly: the first pass lasts long after .11 has failed, which gives the time to
# take the second device away before the retry pass.
start_devsim --first 198.18.0.10 --count 3 --burn-ms 30 --reboot-ms 200 \
  --fault 198.18.0.11:conflict --fault 198.18.0.12:burn-ms=6000
first_record="$WORK/record1.jsonl"

rm -rf "$WORK/run"
mkdir -p "$WORK/run"
(cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 \
  --fw "$WORK/4_app.img" --threads 2 --auto-retry --json) >"$WORK/out" 2>"$WORK/err" &
cli=$!
failed_once() { grep -q "upgrade failure: IP:198.18.0.11 " "$WORK/run/log/upgrade_user.html" 2>/dev/null; }
wait_for 60 failed_once || { kill -INT "$cli"; fail "no failure of .11 in the first pass: $(cat "$WORK/run/log/upgrade_user.html")"; }
# The second device goes away: a new simulator without the conflict.
stop_devsim
cp "$WORK/record.jsonl" "$first_record"
start_devsim --first 198.18.0.10 --count 3 --burn-ms 30 --reboot-ms 200
RC=0
wait "$cli" || RC=$?

expect_rc 0
msgs=$(report_msgs)
grep -q "^\[USR\] ipaddress conflict, IP:198.18.0.11 MAC:[0-9A-F:]* MAC2:[0-9A-F:]*$" <<<"$msgs" ||
  fail "no conflict line from the intake: $msgs"
grep -qx "\[USR\] upgrade error: ipaddr conflict, IP:198.18.0.11 MAC:[0-9A-F:]*" <<<"$msgs" ||
  fail "no conflict line from the check: $msgs"
# Three attempts of the one image, each stopped by the check.
[ "$(grep -c "upgrade error: ipaddr conflict, IP:198.18.0.11 " <<<"$msgs")" -eq 3 ] || fail "attempts: $msgs"
grep -q "^\[SEARCH\] upgrade failure: IP:198.18.0.11 MAC:" <<<"$msgs" || fail "no failure line: $msgs"
grep -q "^\[SEARCH\] upgrade success: IP:198.18.0.11 MAC:" <<<"$msgs" || fail "no success in the retry pass: $msgs"
# Nothing was sent to the address while two devices claimed it.
grep -q '"device":"198.18.0.11"' "$first_record" && fail "an image was sent despite the conflict: $(cat "$first_record")"
[ "$(jqv '.devices[] | select(.ip == "198.18.0.11") | "\(.outcome) \(.passes)"')" = "success 2" ] ||
  fail ".11 in the summary: $(jqv .devices)"
grep -q "\"device\":\"198.18.0.11\".*\"digest\":\"$(image_crc "$WORK/4_app.img")\".*\"result\":\"success\"" "$WORK/record.jsonl" ||
  fail ".11 did not get the image: $(cat "$WORK/record.jsonl")"
echo "PASS"

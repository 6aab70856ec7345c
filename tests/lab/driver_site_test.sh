#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A site list (--devices-from): each listed device is searched for at its address. The ones that
# answer as listed are upgraded; a missing one is "not found", one answering with another MAC and
# one address where two devices answer are refused as conflicts; none of these three, nor the
# devices the list does not name, gets a connection. Names go into the JSON, CSV and table; the
# exit code says not all went well. A bad line refuses the list before anything is sent.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init
# Standard error without CR: the same script runs quillon-cli.exe under Wine.
err() { tr -d '\r' <"$WORK/err"; }

image 4_app.img 8000 7
app_crc=$(image_crc "$WORK/4_app.img")
# .10 to .15 answer; .13 is two devices on one address; .20 has an address but no device.
start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 200 --fault 198.18.0.13:conflict

mac10=$(sim_mac 198.18.0.10)
mac10_written=$(tr 'A-F:' 'a-f-' <<<"$mac10")  # as a spreadsheet may hold it
# A spreadsheet's export: a byte-order mark, CR LF, columns in its own order with one more, a
# name with a comma in it, a comment.
printf '\xef\xbb\xbf# floor 1 and 2\r\nFloor,Name,IP,MAC\r\n1,"Block B, door 3",198.18.0.10,%s\r\n1,Lobby,198.18.0.11,\r\n2,Wrong MAC,198.18.0.12,02:51:C6:12:00:99\r\n\r\n2,Missing,198.18.0.20,\r\n3,"Two ""on"" one",198.18.0.13,\r\n' \
  "$mac10_written" >"$WORK/site.csv"

upgrade --fw "$WORK/4_app.img" --threads 2 --json --csv "$WORK/result.csv" --devices-from "$WORK/site.csv"
expect_rc 1
jq -e . "$WORK/out" >/dev/null || fail "standard output is not one JSON document: $(cat "$WORK/out")"
[ "$(jqv '[.devices[] | "\(.ip)=\(.outcome)"] | join(" ")')" = \
  "198.18.0.10=success 198.18.0.11=success 198.18.0.12=conflict 198.18.0.20=not found 198.18.0.13=conflict" ] ||
  fail "outcomes in the list's order: $(jqv '[.devices[] | "\(.ip)=\(.outcome)"]')"
[ "$(jqv '[.devices[].name] | join("|")')" = 'Block B, door 3|Lobby|Wrong MAC|Missing|Two "on" one' ] ||
  fail "names: $(jqv '[.devices[].name]')"
[ "$(jqv '.devices[0].mac')" = "$mac10" ] || fail "MAC of .10: $(jqv '.devices[0].mac')"
[ "$(jqv '.devices[0].images[0].crc32')" = "$app_crc" ] || fail "image of .10: $(jqv '.devices[0]')"
[ "$(jqv '"\(.totals.devices) \(.totals.succeeded) \(.totals.not_found) \(.totals.conflict)"')" = "5 2 1 2" ] ||
  fail "totals: $(jqv .totals)"
[ "$(jqv .exit_code)" -eq 1 ] || fail "exit code in the summary: $(jqv .exit_code)"

# Only the two devices found as listed were connected to; the refused, the missing and the
# unlisted ones (.14, .15) got nothing.
for ip in 198.18.0.10 198.18.0.11; do
  recs=$(device_records "$ip")
  [ "$(grep -c . <<<"$recs")" -eq 1 ] && grep -q "\"digest\":\"$app_crc\".*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: expected one good connection: $recs"
done
for ip in 198.18.0.12 198.18.0.13 198.18.0.14 198.18.0.15 198.18.0.20; do
  [ -z "$(device_records "$ip")" ] || fail "$ip was connected to: $(device_records "$ip")"
done

# The CSV: the names beside the addresses, the left-out devices with their outcome.
grep -q '^address,mac,name,type,outcome,' <<<"$(head -n 1 "$WORK/result.csv")" || fail "CSV header: $(head -n 1 "$WORK/result.csv")"
grep -q "^\"198.18.0.10\",\"$mac10\",\"Block B, door 3\",\"[A-Z]*\",\"success\",1," "$WORK/result.csv" ||
  fail "CSV line of .10: $(cat "$WORK/result.csv")"
grep -q '^"198.18.0.20","","Missing","","not found",0,' "$WORK/result.csv" || fail "CSV line of .20: $(cat "$WORK/result.csv")"
grep -q '^"198.18.0.12","02:51:C6:12:00:99","Wrong MAC","","conflict",0,' "$WORK/result.csv" ||
  fail "CSV line of .12: $(cat "$WORK/result.csv")"
grep -q '^"198.18.0.13","","Two ""on"" one","","conflict",0,' "$WORK/result.csv" || fail "CSV line of .13: $(cat "$WORK/result.csv")"

# The user report and the messages.
msgs=$(report_msgs)
grep -qx '\[SEARCH\] not found: IP:198.18.0.20 MAC:' <<<"$msgs" || fail "no not-found line: $msgs"
grep -qx "\[USR\] ipaddress conflict, IP:198.18.0.12 MAC:$(sim_mac 198.18.0.12) MAC2:02:51:C6:12:00:99" <<<"$msgs" ||
  fail "no conflict line for .12: $msgs"
grep -q '^\[USR\] ipaddress conflict, IP:198.18.0.13 MAC:[0-9A-F:]* MAC2:[0-9A-F:]*$' <<<"$msgs" || fail "no conflict line for .13: $msgs"
grep -qx "\[SEARCH\] upgrade success: IP:198.18.0.10 MAC:$mac10" <<<"$msgs" || fail "no success line for .10: $msgs"
grep -Eq "upgrade (success|failure): IP:198.18.0.(1[2345]|20) " <<<"$msgs" && fail "a refused device was upgraded: $msgs"
grep -qx "198.18.0.20 (Missing): not found" <<<"$(err)" || fail "message for .20: $(cat "$WORK/err")"
grep -q "^198.18.0.12 (Wrong MAC): refused, MAC $(sim_mac 198.18.0.12) answers at this address; the list says 02:51:C6:12:00:99$" <<<"$(err)" ||
  fail "message for .12: $(cat "$WORK/err")"
grep -qx "2 of 5 listed devices found" <<<"$(err)" || fail "count message: $(cat "$WORK/err")"

# search --devices-from tells the same before anybody upgrades, and connects to nothing.
sleep 0.5  # back from the reboot
before=$(grep -c . "$WORK/record.jsonl")
RC=0
in_pc "$QL_CLI" search --adapter lab0 --devices-from "$WORK/site.csv" --json >"$WORK/out" 2>"$WORK/err" || RC=$?
expect_rc 1
[ "$(jqv '[.devices[] | "\(.ip)=\(.state)"] | join(" ")')" = \
  "198.18.0.10=found 198.18.0.11=found 198.18.0.12=conflict 198.18.0.20=not found 198.18.0.13=conflict" ] ||
  fail "search states: $(cat "$WORK/out")"
[ "$(jqv '.devices[0] | "\(.name)|\(.listed_mac)|\(.mac)|\(.version)"')" = "Block B, door 3|$mac10|$mac10|1.0.0-new" ] ||
  fail "search of .10: $(jqv '.devices[0]')"
[ "$(jqv '.devices[3].mac')" = null ] || fail "search of .20: $(jqv '.devices[3]')"
[ "$(grep -c . "$WORK/record.jsonl")" -eq "$before" ] || fail "the search connected to a device"
grep -qx "2 of 5 listed devices found" <<<"$(err)" || fail "search count message: $(cat "$WORK/err")"

# The table summary carries the names too; a plain list of devices none of which answers lists
# them all as not found (exit code 4: nothing to upgrade), with the CSV.
sleep 0.5  # back from the reboot
printf '# nobody here\n198.18.0.20\n198.18.0.21   # the store room\n' >"$WORK/plain.txt"
upgrade --fw "$WORK/4_app.img" --devices-from "$WORK/plain.txt" --csv "$WORK/none.csv"
expect_rc 4
grep -q "^198.18.0.20  .*not found" "$WORK/out" && grep -q "^198.18.0.21  .*not found" "$WORK/out" ||
  fail "table without a batch: $(cat "$WORK/out")"
grep -q "0 of 2 devices upgraded, 2 not found" "$WORK/out" || fail "table totals: $(cat "$WORK/out")"
[ "$(grep -c '"not found"' "$WORK/none.csv")" -eq 2 ] || fail "CSV without a batch: $(cat "$WORK/none.csv")"

# Bad lines: refused with the file, the line and why, exit code 2, before anything is sent (the
# simulator, started afresh, counts no search and no connection) and before the last batch's
# report is emptied.
sleep 0.5
stop_devsim
start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 200
long=$(head -c 5000 /dev/zero | tr '\0' x)
printf 'ip,mac,name\n198.18.0.10,,a\n198.18.0.11,02:51:C6:12:00,b\n' >"$WORK/bad_mac.csv"
printf '198.18.0.10\n198.18.0.11\n198.18.0.10\n' >"$WORK/twice.txt"
printf 'ip,name\n198.18.0.10,%s\n' "$long" >"$WORK/long.csv"
printf '198.18.0.10\n198.18.0.11\0\n' >"$WORK/binary.txt"
printf 'name,mac\nlobby,02:51:C6:12:00:0A\n' >"$WORK/no_ip.csv"
for bad in "bad_mac.csv:3: '02:51:C6:12:00' is not a device's MAC" \
           "twice.txt:3: 198.18.0.10 is listed twice, on lines 1 and 3" \
           "long.csv:2: a line longer than 4096 bytes" \
           "binary.txt:2: a NUL byte: this is no text file" \
           "no_ip.csv:1: a CSV needs a header line with an ip column"; do
  file=${bad%%:*}
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run/log"
  echo "<pre>the last batch</pre>" >"$WORK/run/log/upgrade_user.html"
  upgrade_in_run --fw "$WORK/4_app.img" --json --devices-from "$WORK/$file"
  expect_rc 2
  grep -q "^upgrade: --devices-from $WORK/$bad" <<<"$(err)" || fail "$file: reason: $(cat "$WORK/err")"
  [ ! -s "$WORK/out" ] || fail "$file: a summary: $(cat "$WORK/out")"
  [ "$(cat "$WORK/run/log/upgrade_user.html")" = "<pre>the last batch</pre>" ] || fail "$file emptied the report"
  RC=0
  in_pc "$QL_CLI" search --adapter lab0 --devices-from "$WORK/$file" >"$WORK/out" 2>"$WORK/err" || RC=$?
  expect_rc 2
  grep -q "^search: --devices-from $WORK/$bad" <<<"$(err)" || fail "search $file: reason: $(cat "$WORK/err")"
done
stop_devsim
grep -q "; 0 searches, 0 answers, 0 connections," "$WORK/devsim.log" ||
  fail "the simulator heard from the tool: $(cat "$WORK/devsim.log")"
echo "PASS"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Range mode: 198.18.0.203 .. 214 with three workers. .205 to .209 are simulated devices; .203 and
# .204 answer the echo but offer no upgrade service; .210 and above are no host at all and stay
# silent. Then the type filter: only the PANEL of the range is upgraded.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

start_devsim --first 198.18.0.205 --count 5 --burn-ms 40 --reboot-ms 300
image 3_system.img 50000 3

upgrade --system "$WORK/3_system.img" --range 198.18.0.203-214 --threads 3 --json
expect_rc 1
[ "$(jqv .mode)" = range ] || fail "mode $(jqv .mode)"
[ "$(jqv '.unreachable | sort | join(" ")')" = "198.18.0.210 198.18.0.211 198.18.0.212 198.18.0.213 198.18.0.214" ] ||
  fail "unreachable: $(jqv .unreachable)"
[ "$(jqv .totals.devices)" -eq 7 ] && [ "$(jqv .totals.succeeded)" -eq 5 ] && [ "$(jqv .totals.failed)" -eq 2 ] ||
  fail "totals: $(jqv .totals)"
# Silent addresses are not counted: 7 of the 12 addresses of the pass.
[ "$(jqv .counter)" = "(  7/12 )" ] || fail "counter '$(jqv .counter)'"

msgs=$(report_msgs)
for d in 210 211 212 213 214; do
  grep -qx "\[IPSCAN\] IP:198.18.0.$d unreachable " <<<"$msgs" || fail "no unreachable line for .$d: $msgs"
done
for d in 205 206 207 208 209; do
  ip=198.18.0.$d
  # The directed search's answer filled in the row, so the report names the device's MAC.
  grep -qx "\[IPSCAN\] upgrade success: IP: $ip MAC: $(sim_mac "$ip")" <<<"$msgs" || fail "no success line for $ip: $msgs"
  [ "$(jqv ".devices[] | select(.ip == \"$ip\") | .mac")" = "$(sim_mac "$ip")" ] || fail "$ip MAC in the summary"
  grep -q "\"received\":50000,\"digest\":\"$(image_crc "$WORK/3_system.img")\".*\"reboot_records\":1,.*\"result\":\"success\"" \
    <<<"$(device_records "$ip")" || fail "$ip: image not received whole"
done
for d in 203 204; do
  grep -qx "\[IPSCAN\] upgrade failure: IP: 198.18.0.$d MAC: " <<<"$msgs" || fail "no failure line for .$d: $msgs"
done
[ "$(grep -c "upgrade \(success\|failure\)" <<<"$msgs")" -eq 7 ] || fail "one line per answering address: $msgs"

# Worker w takes the addresses 203 + w, 203 + w + 3, ...; each answering address gets one row.
[ "$(jqv '[.devices[].ip] | sort | join(" ")')" = "$(printf '198.18.0.%s ' 203 204 205 206 207 208 209 | sed 's/ $//')" ] ||
  fail "rows: $(jqv '[.devices[].ip]')"

# The type filter: a search first tells the types; only the PANEL (.205) is upgraded, the others
# leave no row and no line.
sleep 0.5  # the devices are back from their reboot after 300 ms
upgrade --system "$WORK/3_system.img" --range 198.18.0.205-209 --type panel --threads 2 --json
expect_rc 0
[ "$(jqv '[.devices[].ip] | join(" ")')" = 198.18.0.205 ] || fail "type filter: $(jqv .devices)"
[ "$(jqv '.devices[0].type')" = PANEL ] || fail "type $(jqv '.devices[0].type')"
[ "$(report_msgs | grep -c IPSCAN)" -eq 1 ] || fail "report: $(report_msgs)"
[ "$(jqv .counter)" = "(  1/5  )" ] || fail "counter '$(jqv .counter)'"

# No address of the range answers: nothing to upgrade.
upgrade --system "$WORK/3_system.img" --range 198.18.0.230-232 --threads 3 --json
expect_rc 4
[ "$(jqv '.unreachable | length')" -eq 3 ] && [ "$(jqv .totals.devices)" -eq 0 ] || fail "summary: $(cat "$WORK/out")"

# A range the window would refuse is a usage error.
upgrade --system "$WORK/3_system.img" --range 198.18.0.0-20
expect_rc 2
echo "PASS"

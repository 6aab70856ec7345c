#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# 300 devices, so that addresses go past 198.18.0.254 into 198.18.1.x: discovery, upgrade, reboot
# and ICMP echo work there too, and faults from a fleet file reach the right device.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
lab_init

last=$("$QL_LAB" addr 299)
[ "$last" = 198.18.1.55 ] || fail "numbering: device 299 is $last"

cat >"$WORK/fleet.txt" <<'FLEET'
# devices that misbehave
198.18.0.12 faults=refuse
198.18.1.41 id=4711 version=2.0.0 faults=fail
FLEET
start_devsim --first 198.18.0.10 --count 300 --fleet "$WORK/fleet.txt" --reboot-ms 1500 --burn-ms 50 \
  --answer-spread-ms 1000

out=$(in_pc "$QL_PROBE" search --window-ms 2500)
[ "$(wc -l <<<"$out")" -eq 300 ] || fail "broadcast: $(wc -l <<<"$out") answers, expected 300"
grep -q "^198.18.1.41 198.18.1.41 4711 [^ ]* 2.0.0$" <<<"$out" || fail "fleet file entry not applied"
# Spread over a second, the answers cannot all be there after 300 ms.
early=$(in_pc "$QL_PROBE" search --window-ms 300 | grep -c . || true)
((early < 300)) || fail "answers not spread: $early within 300 ms"

out=$(in_pc "$QL_PROBE" search --to 198.18.1.40 --window-ms 800)
[ "$(wc -l <<<"$out")" -eq 1 ] && [ "$(awk '{print $1}' <<<"$out")" = 198.18.1.40 ] ||
  fail "directed search to 198.18.1.40: $out"

out=$(in_pc "$QL_PROBE" upgrade 198.18.1.40 --size 300000 --seed 5 --reboot) || fail "upgrade failed: $out"
grep -q "records: S10 S20 S30 S40 S50 S60 S70 S80 S90 S100 B0 .* B100 F1" <<<"$out" || fail "records: $out"
grep -q "reboot: closed" <<<"$out" || fail "no reboot: $out"
digest=$(sed -n 's/^digest: //p' <<<"$out")
wait_for 10 grep -q "\"device\":\"198.18.1.40\".*\"digest\":\"$digest\".*\"reboot_records\":1" "$WORK/record.jsonl" ||
  fail "record does not show the image sent: $(cat "$WORK/record.jsonl")"

# Rebooting: refused, then back with the new version.
out=$(in_pc "$QL_PROBE" upgrade 198.18.1.40 --size 10 || true)
grep -q "connect: refused" <<<"$out" || fail "device answered while rebooting: $out"
back() { in_pc "$QL_PROBE" search --to 198.18.1.40 --window-ms 300 | grep -q " 1.0.0-new$"; }
wait_for 15 back || fail "device did not come back with its new version"

out=$(in_pc "$QL_PROBE" upgrade 198.18.0.12 --size 10 || true)
grep -q "connect: refused" <<<"$out" || fail "refuse fault: $out"
out=$(in_pc "$QL_PROBE" upgrade 198.18.1.41 --size 1000 || true)
grep -q "records: .* F0$" <<<"$out" || fail "fail fault: $out"

# ICMP echo: every device address answers, an address without a device does not.
in_pc ping -c 1 -W 2 198.18.1.55 >/dev/null || fail "no echo from 198.18.1.55"
if in_pc ping -c 1 -W 1 198.18.1.100 >/dev/null; then fail "echo from an address without a device"; fi

stop_devsim
echo "PASS"

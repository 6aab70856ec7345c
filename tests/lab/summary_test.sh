#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A mixed batch ends its report with the SUMMARY lines, failures first: the counts, then each
# device that failed, did not come back or came back with its old version. quillon-cli prints those devices' addresses last, on
# one line that --device takes as it is, and --failed-to writes them as a site list.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init
# A refused connection is tried again after this wait: short, nothing is learnt from it.
export QUILLON_TEST_CONNECT_MS=200

image 2_kernel.img 6000 3
image 4_fw.img 9000 5

# The report's lines with the time stamp replaced by T, byte for byte otherwise.
report_raw() { sed -E 's/^<pre>\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] /<pre>[T] /' "$WORK/run/log/upgrade_user.html"; }
mac12=$(sim_mac 198.18.0.12)
mac13=$(sim_mac 198.18.0.13)
mac14=$(sim_mac 198.18.0.14)
faults=(--fault 198.18.0.12:fail --fault 198.18.0.13:old-version --fault 198.18.0.14:no-return)

# ---- six devices found by the search: .12 fails every image, .13 comes back with its old
# version, .14 never comes back.
start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 300 "${faults[@]}"
upgrade --kernel "$WORK/2_kernel.img" --fw "$WORK/4_fw.img" --threads 3 --come-back 3 \
  --failed-to "$WORK/failed.csv"
expect_rc 1
want=$(printf '%s\n' \
  "<pre>[T] [SUMMARY] 6 devices: 3 upgraded and back, 1 failed, 1 not back, 1 back with the old version</pre>" \
  "<pre>[T] [SUMMARY] failed: IP:198.18.0.12 MAC:$mac12, the KERNEL image failed</pre>" \
  "<pre>[T] [SUMMARY] not back: IP:198.18.0.14 MAC:$mac14, upgraded, but no answer within 3 s of its reboot</pre>" \
  "<pre>[T] [SUMMARY] back with the old version: IP:198.18.0.13 MAC:$mac13, answered after its reboot with its old version 1.0.0</pre>")
# The last lines of the report, after every device and come-back line.
[ "$(report_raw | tail -n 4)" = "$want" ] || fail "SUMMARY lines: $(report_raw)"
[ "$(report_raw | grep -c 'SUMMARY')" -eq 4 ] || fail "SUMMARY lines elsewhere: $(report_raw)"
[ "$(report_raw | grep -c '\[SEARCH\] upgrade ')" -eq 6 ] || fail "device lines: $(report_raw)"
# After the table: what follows, then the addresses alone on the last line.
[ "$(tail -n 2 "$WORK/out")" = "$(printf '%s\n' \
  "3 devices need attention (for --device or a site list):" \
  "198.18.0.12 198.18.0.14 198.18.0.13")" ] || fail "failed line: $(cat "$WORK/out")"
grep -qE '^5 of 6 devices upgraded, 1 not back after the reboot, 1 back with the old version$' <(tail -n 3 "$WORK/out") ||
  fail "the table comes before the failed line: $(cat "$WORK/out")"
[ "$(cat "$WORK/failed.csv")" = "$(printf '%s\n' "ip,mac,name" "198.18.0.12,$mac12," "198.18.0.14,$mac14," "198.18.0.13,$mac13,")" ] ||
  fail "--failed-to: $(cat "$WORK/failed.csv")"
failed_ips=$(tail -n 1 "$WORK/out")
stop_devsim

# ---- the line pasted after --device names exactly those three; the JSON lists them as well.
# A fresh simulator: .14 is there again, and again does not come back.
start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 300 "${faults[@]}"
upgrade --device $failed_ips --kernel "$WORK/2_kernel.img" --threads 3 --come-back 3 --json
expect_rc 1
[ "$(jqv '[.devices[].ip] | join(" ")')" = "198.18.0.12 198.18.0.14 198.18.0.13" ] || fail "devices: $(jqv .devices)"
[ "$(jqv '[.needs_attention[] | "\(.ip) \(.outcome)"] | join(",")')" = \
  "198.18.0.12 failed,198.18.0.14 not back" ] || fail "needs_attention: $(jqv .needs_attention)"
stop_devsim

# ---- named devices, the check off: a device that refuses connections has no MAC; a clean
# batch prints no failed line and writes a site list with its header alone.
start_devsim --first 198.18.0.10 --count 6 --burn-ms 20 --reboot-ms 300
upgrade --device 198.18.0.11 --device 198.18.0.16 --kernel "$WORK/2_kernel.img" --come-back 0 \
  --failed-to "$WORK/failed.csv"
expect_rc 1
want=$(printf '%s\n' \
  "<pre>[T] [SUMMARY] 2 devices: 1 upgraded (come-back not checked), 1 failed</pre>" \
  "<pre>[T] [SUMMARY] failed: IP:198.18.0.16 MAC:-, the KERNEL image failed</pre>")
[ "$(report_raw | tail -n 2)" = "$want" ] || fail "SUMMARY lines: $(report_raw)"
[ "$(tail -n 1 "$WORK/out")" = "198.18.0.16" ] || fail "failed line: $(cat "$WORK/out")"
[ "$(cat "$WORK/failed.csv")" = "$(printf '%s\n' "ip,mac,name" "198.18.0.16,,")" ] ||
  fail "--failed-to: $(cat "$WORK/failed.csv")"

upgrade --device 198.18.0.10 --kernel "$WORK/2_kernel.img" --come-back 3 --failed-to "$WORK/failed.csv"
expect_rc 0
[ "$(report_raw | tail -n 1)" = "<pre>[T] [SUMMARY] 1 device: 1 upgraded and back</pre>" ] ||
  fail "SUMMARY lines: $(report_raw)"
grep -q "need attention" "$WORK/out" && fail "a failed line after a clean batch: $(cat "$WORK/out")"
[ "$(cat "$WORK/failed.csv")" = "ip,mac,name" ] || fail "--failed-to: $(cat "$WORK/failed.csv")"
stop_devsim
echo "PASS"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# List mode after a search: twelve devices of every type, three workers, two images. Every
# device gets both images whole (the simulator's digests equal the files' data), one reboot
# request after the last, one success line in the report; the summary and exit code agree.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

start_devsim --first 198.18.0.10 --count 12 --burn-ms 40 --reboot-ms 400
image 1_boot.img 20000 1
image 4_app.img 300000 2 90
boot_crc=$(image_crc "$WORK/1_boot.img")
app_crc=$(image_crc "$WORK/4_app.img")

upgrade --boot "$WORK/1_boot.img" --fw "$WORK/4_app.img" --threads 3 --json
expect_rc 0
jq -e . "$WORK/out" >/dev/null || fail "standard output is not one JSON document: $(cat "$WORK/out")"
[ "$(jqv .mode)" = list ] || fail "mode $(jqv .mode)"
[ "$(jqv .totals.devices)" -eq 12 ] && [ "$(jqv .totals.succeeded)" -eq 12 ] ||
  fail "totals: $(jqv .totals)"
[ "$(jqv .counter)" = "( 12/12 )" ] || fail "counter '$(jqv .counter)'"
[ "$(jqv '[.images[].crc32] | join(" ")')" = "$boot_crc $app_crc" ] || fail "image digests: $(jqv .images)"
[ "$(jqv '[.devices[] | select(.passes == 1 and (.images | map(.crc32) | join(" ")) == "'"$boot_crc $app_crc"'")] | length')" -eq 12 ] ||
  fail "every device should list both images once: $(jqv .devices)"
types=$(jqv '[.devices[].type] | unique | length')
[ "$types" -eq 7 ] || fail "expected devices of all 7 types, got $types: $(jqv '[.devices[].type]')"

msgs=$(report_msgs)
for i in $(seq 0 11); do
  ip=$("$QL_LAB" addr "$i")
  n=$(grep -cx "\[SEARCH\] upgrade success: IP:$ip MAC:$(sim_mac "$ip")" <<<"$msgs" || true)
  [ "$n" -eq 1 ] || fail "$ip: $n success lines in the report: $msgs"
  recs=$(device_records "$ip")
  [ "$(grep -c . <<<"$recs")" -eq 2 ] || fail "$ip: expected two connections: $recs"
  grep -q "\"received\":20000,\"digest\":\"$boot_crc\".*\"checksum\":\"ok\".*\"reboot_records\":0,.*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: BOOT image not received whole: $recs"
  grep -q "\"received\":300000,\"digest\":\"$app_crc\".*\"checksum\":\"ok\".*\"reboot_records\":1,.*\"result\":\"success\"" <<<"$recs" ||
    fail "$ip: FW image or its reboot request missing: $recs"
done
grep -q failure <<<"$msgs" && fail "a failure line: $msgs"

# Standard error carries the messages, nothing animated (it is no terminal here).
grep -qx "The bulk upgrade process stop !" "$WORK/err" || fail "end message missing: $(cat "$WORK/err")"
grep -qx "Report: $WORK/run/log/upgrade_user.html" "$WORK/err" || fail "report path missing: $(cat "$WORK/err")"
grep -q "IMG \[" "$WORK/err" && fail "progress bars on a non-terminal: $(cat "$WORK/err")"
[ ! -e "$WORK/run/log/upgrade_dev.log" ] || fail "device log without --debug"

# The same batch with --debug and the table summary: the device log and the debug log appear.
# Its search must find every device back from the reboot (400 ms) that ended the last batch.
sleep 1
upgrade --boot "$WORK/1_boot.img" --threads 4 --debug
expect_rc 0
grep -q "12 of 12 devices upgraded" "$WORK/out" || fail "table summary: $(cat "$WORK/out")"
grep -q "\[INFO\] app_upgrade is ok !" "$WORK/run/log/upgrade_dev.log" || fail "device log: $(cat "$WORK/run/log/upgrade_dev.log")"
debug_log=$(ls "$WORK/run/log"/log_*.txt)
grep -q "^process thread 4$" "$debug_log" || fail "debug log lacks the driver's lines"
grep -q "m_need_reboot" "$debug_log" && fail "console lines must not reach the debug log"

# A package: unpacked beside itself, sorted into the slots by name; the slot whose file name says
# "reboot" asks for the reboot after its image. What was unpacked is gone afterwards.
mkdir -p "$WORK/pkg"
image pkg/1_uboot.img 7000 11
image pkg/2_kernel_reboot.img 9000 12
"$QL_MKIMAGE" package "$WORK/pkg/fw.zip" "$WORK/pkg/1_uboot.img" "$WORK/pkg/2_kernel_reboot.img" || fail "package"
sleep 1  # back from the reboot of the last batch
before=$(grep -c . "$WORK/record.jsonl")
upgrade --package "$WORK/pkg/fw.zip" --threads 6 --json
expect_rc 0
[ "$(jqv '[.images[] | "\(.slot) \(.reboot_after)"] | join(",")')" = "boot false,kernel true" ] ||
  fail "slots from the package: $(jqv .images)"
[ "$(jqv .totals.succeeded)" -eq 12 ] || fail "totals: $(jqv .totals)"
[ ! -e "$WORK/pkg/brelk_upgrade_image" ] || fail "the unpacked folder was left behind"
# The kernel image, flagged reboot-after, is also the last: one reboot request per device.
# (Read whole first: "tail | grep -q" fails under pipefail whenever grep stops before tail.)
batch_recs=$(tail -n +"$((before + 1))" "$WORK/record.jsonl")
[ "$(grep -c "\"received\":7000,.*\"reboot_records\":0," <<<"$batch_recs")" -eq 12 ] ||
  fail "boot image without a reboot request on every device: $batch_recs"
[ "$(grep -c "\"received\":9000,.*\"reboot_records\":1," <<<"$batch_recs")" -eq 12 ] ||
  fail "kernel image with its reboot request: $batch_recs"

# An image whose data do not match its checksum: the batch does not begin.
cp "$WORK/1_boot.img" "$WORK/bad.img"
printf 'x' | dd of="$WORK/bad.img" bs=1 seek=100 conv=notrunc status=none
before=$(grep -c . "$WORK/record.jsonl")
upgrade --boot "$WORK/bad.img" --json
expect_rc 3
grep -qx "Image check failed!" "$WORK/err" || fail "message: $(cat "$WORK/err")"
grep -q "^Report:" "$WORK/err" && fail "the report is shown only after a batch that ran"
[ "$(jqv .images_ok)" = false ] || fail "summary: $(cat "$WORK/out")"
[ "$(grep -c . "$WORK/record.jsonl")" -eq "$before" ] || fail "a device was contacted"
[ ! -s "$WORK/run/log/upgrade_user.html" ] || fail "report lines: $(cat "$WORK/run/log/upgrade_user.html")"

# A log folder that cannot be made ("log" is a file): no logs, but the batch runs all the same;
# the file is left as it was.
sleep 1  # back from the reboot of the package's batch
rm -rf "$WORK/run"
mkdir -p "$WORK/run"
echo "not a folder" >"$WORK/run/log"
upgrade_in_run --boot "$WORK/1_boot.img" --threads 4 --debug --json
expect_rc 0
[ "$(jqv .totals.succeeded)" -eq 12 ] || fail "without logs: $(jqv .totals); stderr: $(cat "$WORK/err")"
[ "$(cat "$WORK/run/log")" = "not a folder" ] || fail "the file named log was changed"
[ "$(ls "$WORK/run")" = log ] || fail "something else was written: $(ls "$WORK/run")"

# A command line that cannot run leaves the last batch's report as it was.
for bad in "--boot $WORK/1_boot.img --adapter lab0 --type nosuch" "--adapter lab0 --package $WORK/missing.zip" \
           "--boot $WORK/1_boot.img --adapter nosuch0"; do
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run/log"
  echo "<pre>the last batch</pre>" >"$WORK/run/log/upgrade_user.html"
  RC=0
  # shellcheck disable=SC2086
  (cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade $bad --json) \
    >"$WORK/out" 2>"$WORK/err" || RC=$?
  expect_rc 2
  grep -q "^upgrade: " "$WORK/err" || fail "$bad: no reason given: $(cat "$WORK/err")"
  [ "$(cat "$WORK/run/log/upgrade_user.html")" = "<pre>the last batch</pre>" ] ||
    fail "$bad emptied the report: $(cat "$WORK/run/log/upgrade_user.html")"
done

# --device names the devices: answers that nobody asked for (a late answer to an earlier
# search, somebody else's search) list no other device, before the batch or during it.
sleep 1
in_dev timeout -k 2 8 python3 - >"$WORK/acks.log" 2>&1 <<'PY' &
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
acks = [("<event><active>search</active><type>ack</type><ip>198.18.0.%d</ip><id>1019901</id>"
         "<mac>02:51:C6:12:00:%02X</mac><version>1.0.0</version></event>" % (n, n)).encode()
        for n in (11, 12, 13)]
t0, sent = time.monotonic(), 0
while time.monotonic() - t0 < 6:
    s.sendto(acks[sent % 3], ("198.18.0.1", 8400))
    sent += 1
    time.sleep(0.0005)
print(sent)
PY
ACKS_PID=$!
sleep 0.3
upgrade --boot "$WORK/1_boot.img" --device 198.18.0.10 --json
wait "$ACKS_PID" || true
expect_rc 0
[ "$(jqv '[.devices[].ip] | join(" ")')" = 198.18.0.10 ] ||
  fail "devices nobody named were listed: $(jqv '[.devices[].ip]') ($(cat "$WORK/acks.log") answers sent)"
# A named device has no id, so its type is not known.
[ "$(jqv '.devices[0].type')" = "" ] || fail "type of a named device: $(jqv '.devices[0].type')"
echo "PASS"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A batch killed outright (SIGKILL) in its middle, then `upgrade --resume`: 30 devices, 3 workers,
# auto-retry; .12 fails its first three connections, so it fails its first pass.
# - every line of the journal parses, except at most a torn last one; it has no end line;
# - a resume with an image file changed since the batch began is refused (exit 2), nothing sent;
# - the resume runs exactly the devices the journal does not show upgraded; its journal names
#   the one it continues and ends; the first journal and the resumed summary account for all 30;
# - the simulator's record: every device took one whole image set, and only the devices in the
#   middle of their set at the kill took it twice.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

image 2_kernel.img 60000 4
image 3_system.img 30000 5
start_devsim --first 198.18.0.10 --count 30 --burn-ms 150 --reboot-ms 300 \
  --fault 198.18.0.12:fail-first=3
mapfile -t all_ips < <("$QL_LAB" addrs 30)

rm -rf "$WORK/run"
mkdir -p "$WORK/run"
cd "$WORK/run"
"$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 --kernel "$WORK/2_kernel.img" \
  --system "$WORK/3_system.img" --threads 3 --auto-retry --json >"$WORK/out1" 2>"$WORK/err1" &
CLI=$!
cd - >/dev/null

journal() { ls "$WORK/run/log"/journal_*.jsonl 2>/dev/null | sort -r | head -n 1; }
# Killed once ten devices have succeeded and more are in hand (a failed end, such as the first
# attempts of the device that fails them, does not count towards the ten).
mid_batch() {
  local j ends wins takes
  j=$(journal)
  [ -n "$j" ] || return 1
  ends=$(grep -c '"event":"device_end"' "$j" || true)
  wins=$(grep '"event":"device_end"' "$j" | grep -c '"success":true' || true)
  takes=$(grep -c '"event":"device_taken"' "$j" || true)
  [ "$wins" -ge 10 ] && [ "$takes" -gt "$ends" ]
}
wait_for 120 mid_batch || { kill -9 "$CLI"; fail "the batch never got going: $(cat "$WORK/err1")"; }
kill -9 "$CLI"
wait "$CLI" 2>/dev/null || true
J1=$(journal)
[ -n "$J1" ] || fail "no journal"
# The devices in hand finish their connection's end on the simulator's side.
sleep 1

# Every whole line parses; only a last line without its line end may not.
lines=$(grep -c '' "$J1")
if [ -n "$(tail -c 1 "$J1")" ]; then lines=$((lines - 1)); fi
head -n "$lines" "$J1" | jq -e -s 'all(type == "object")' >/dev/null || fail "a whole line does not parse: $(cat "$J1")"
first=$(head -n 1 "$J1")
[ "$(jq -r .event <<<"$first")" = batch_start ] || fail "first line: $first"
[ "$(jq -r '.devices | length' <<<"$first")" -eq 30 ] || fail "devices at start: $first"
[ "$(jq -r '.images | length' <<<"$first")" -eq 2 ] || fail "images at start: $first"
grep -q '"event":"batch_end"' "$J1" && fail "the killed batch has an end line"

head -n "$lines" "$J1" >"$WORK/j1"
# Rows upgraded, and rows taken without an end (in hand at the kill), as addresses.
done_ips=$(jq -r -s '[.[] | select(.event == "device_end" and .success) | .ip] | unique | .[]' "$WORK/j1")
inflight_ips=$(jq -r -s '[group_by(.row)[] | select(.[0].row != null) | select(.[-1].event == "device_taken" or .[-1].event == "image_finished") | .[-1].ip] | unique | .[]' \
  <(jq -c 'select(.event == "device_taken" or .event == "image_finished" or .event == "device_end")' "$WORK/j1"))
n_done=$(grep -c . <<<"$done_ips" || true)
[ "$n_done" -ge 10 ] || fail "done at the kill: $done_ips"
[ -n "$inflight_ips" ] || fail "nothing was in hand at the kill"

# An image file that is no longer the batch's: refused, nothing is sent.
mv "$WORK/2_kernel.img" "$WORK/2_kernel.keep"
image 2_kernel.img 60000 9
records_before=$(grep -c . "$WORK/record.jsonl")
upgrade_in_run --resume --json
expect_rc 2
grep -q "KERNEL image $WORK/2_kernel.img is not the file the batch began with" "$WORK/err" ||
  fail "no clear message: $(cat "$WORK/err")"
[ "$(grep -c . "$WORK/record.jsonl")" -eq "$records_before" ] || fail "a device was sent something"
[ "$(ls "$WORK/run/log"/journal_*.jsonl | wc -l)" -eq 1 ] || fail "a refused resume wrote a journal"
mv "$WORK/2_kernel.keep" "$WORK/2_kernel.img"

upgrade_in_run --resume --json
expect_rc 0
J2=$(journal)
[ "$J2" != "$J1" ] || fail "the resume wrote no journal of its own"
[ "$(head -n 1 "$J2" | jq -r .continues)" = "$(basename "$J1")" ] || fail "continues: $(head -n 1 "$J2")"
tail -n 1 "$J2" | jq -e '.event == "batch_end"' >/dev/null || fail "the resumed batch did not end: $(tail -n 1 "$J2")"
resumed=$(jqv '[.devices[].ip] | sort | .[]')
[ "$(jqv '[.devices[] | select(.outcome != "success")] | length')" -eq 0 ] || fail "resumed: $(jqv .devices)"
# Nothing done twice by the resume's choice, nothing left out: together exactly the 30.
[ -z "$(comm -12 <(sort <<<"$done_ips") <(sort <<<"$resumed"))" ] || fail "resumed a device already done: $resumed"
[ "$(sort -u <(echo "$done_ips") <(echo "$resumed") | grep -c .)" -eq 30 ] ||
  fail "not all 30 accounted for: done $done_ips; resumed $resumed"

# The simulator's record: per device and image, whole successful sets.
k_len=$(( $(stat -c %s "$WORK/2_kernel.img") - 204 ))
s_len=$(( $(stat -c %s "$WORK/3_system.img") - 204 ))
for ip in "${all_ips[@]}"; do
  for len in "$k_len" "$s_len"; do
    ok=$(jq -r --arg ip "$ip" --argjson len "$len" \
      'select(.device == $ip and .length == $len and .result == "success" and .checksum == "ok" and .received == $len) | .device' \
      "$WORK/record.jsonl" | grep -c . || true)
    [ "$ok" -ge 1 ] || fail "$ip never took the image of $len bytes whole"
    if [ "$ok" -gt 1 ] && ! grep -qx "$ip" <<<"$inflight_ips"; then
      fail "$ip took the image of $len bytes $ok times and was not in hand at the kill"
    fi
    [ "$ok" -le 2 ] || fail "$ip took the image of $len bytes $ok times"
  done
done

# The history lists both, newest first.
in_pc bash -c "cd '$WORK/run' && '$QL_CLI' history --json" >"$WORK/hist" || fail "history failed"
[ "$(jq -r '.[0].unfinished, .[1].unfinished' "$WORK/hist" | tr '\n' ' ')" = "false true " ] ||
  fail "history: $(cat "$WORK/hist")"
[ "$(jq -r '.[1].succeeded' "$WORK/hist")" -eq "$n_done" ] || fail "history: $(cat "$WORK/hist")"
echo "PASS"

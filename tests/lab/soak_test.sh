#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The soak: 500 devices found by a search, ten workers, auto-retry, two small images. A seeded
# random 5 % of the devices carry a transient fault for their first 1 to 4 connections (refused,
# dropped mid-image, F 0, silent mid-image, junk records, records split byte by byte), and one
# more device fails every image. The batch must end by itself, and then:
#   - the exit code is 1 exactly when some device failed, and the summary says the same;
#   - each of the 500 devices appears once in the summary, with the outcome and number of passes
#     its faults lead to (three attempts per image and pass, at most ten passes);
#   - the user report holds, per device, one failure line per failed pass and one success line
#     after a success, with the device's MAC;
#   - the simulator saw exactly the connections those attempts make, and every device that
#     succeeded received both images whole (length and crc32 of the bytes);
#   - the tool's resident memory, sampled every 0.5 s, peaks in the last third of the run no more
#     than QUILLON_SOAK_RSS_MARGIN_MIB (8) above its peak in the first third (reported only in a
#     sanitizer build, QUILLON_SOAK_SANITIZER set: its allocator holds freed blocks back);
#   - the tool wrote no sanitizer report.
# QUILLON_SOAK_SEED=N replays a run's choice of devices and faults (the seed is printed).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
lab_init

NDEV=500
FAULTY=$((NDEV * 5 / 100))
# Attempts per image in one list-mode pass, and passes with auto-retry: the driver's fixed counts.
TRIES=3
MAX_PASSES=10
BOUND=${QUILLON_SOAK_BOUND:-240}
MARGIN_MIB=${QUILLON_SOAK_RSS_MARGIN_MIB:-8}
SEED=${QUILLON_SOAK_SEED:-$(od -An -N2 -tu2 /dev/urandom | tr -d ' ')}
echo "soak seed $SEED (QUILLON_SOAK_SEED=$SEED replays this run)"
RANDOM=$SEED

# A silent device costs the idle limit per attempt.
export QUILLON_TEST_IDLE_MS=2000

KERNEL_BYTES=100000
APP_BYTES=20000
image 2_kernel.img $KERNEL_BYTES 21
image 4_app.img $APP_BYTES 22
kernel_crc=$(image_crc "$WORK/2_kernel.img")
app_crc=$(image_crc "$WORK/4_app.img")

mapfile -t IPS < <("$QL_LAB" addrs $NDEV)
[ "${#IPS[@]}" -eq $NDEV ] || fail "addresses: ${#IPS[@]}"

# The faults: FAULT[ip] as the simulator takes it, BAD[ip] the connections it makes fail.
# A refused connection is reset by the device just after the handshake: when the reset beats the
# tool's connect check, the tool tries the connect again within the same attempt. EARLY[ip]: the
# device may therefore succeed in an earlier pass than its count says.
declare -A FAULT BAD EARLY
half=$((KERNEL_BYTES / 2))
# PICKED: a device without a fault yet. (Not in a $(...) subshell: bash reseeds RANDOM there,
# and the run could not be replayed.)
pick_free() {
  while :; do
    PICKED=${IPS[RANDOM % NDEV]}
    [ -z "${FAULT[$PICKED]:-}" ] && return
  done
}
kinds=(refuse drop fail hang junk split fail-first)
for ((k = 0; k < FAULTY; k++)); do
  pick_free
  ip=$PICKED
  n=$((1 + RANDOM % 4))
  kind=${kinds[RANDOM % ${#kinds[@]}]}
  case $kind in
    refuse) FAULT[$ip]="refuse,first=$n"; BAD[$ip]=$n; EARLY[$ip]=1 ;;
    drop) FAULT[$ip]="drop=$half,first=$n"; BAD[$ip]=$n ;;
    fail) FAULT[$ip]="fail,first=$n"; BAD[$ip]=$n ;;
    hang) FAULT[$ip]="hang=$half,first=$n"; BAD[$ip]=$n ;;
    fail-first) FAULT[$ip]="fail-first=$n"; BAD[$ip]=$n ;;
    # The tool copes with these: no attempt is lost to them.
    junk | split) FAULT[$ip]="$kind,first=$n"; BAD[$ip]=0 ;;
  esac
done
# One device whose fault outlasts every pass.
pick_free
LASTING=$PICKED
FAULT[$LASTING]=fail
BAD[$LASTING]=1000000

fault_args=()
for ip in "${!FAULT[@]}"; do fault_args+=(--fault "$ip:${FAULT[$ip]}"); done
for ip in "${!FAULT[@]}"; do echo "  $ip: ${FAULT[$ip]}"; done | sort -t. -k3,3n -k4,4n

# What must come of each device: "ip outcome passes connections".
expected_rows() {
  local ip bad p
  for ip in "${IPS[@]}"; do
    bad=${BAD[$ip]:-0}
    p=$((bad / TRIES + 1))
    if ((p <= MAX_PASSES)); then
      # Each failed attempt is one connection, then one connection per image.
      echo "$ip success $p $((bad + 2))"
    else
      echo "$ip failure $MAX_PASSES $((MAX_PASSES * TRIES))"
    fi
  done | sort
}
expected_rows >"$WORK/expected"
want_failed=$(grep -c " failure " "$WORK/expected" || true)
want_passes=$(awk '{ if ($3 > m) m = $3 } END { print m }' "$WORK/expected")
want_rc=$([ "$want_failed" -eq 0 ] && echo 0 || echo 1)

start_devsim --first "${IPS[0]}" --count $NDEV --burn-ms 20 --reboot-ms 200 --split-pause-ms 1 "${fault_args[@]}"

# The tool through a wrapper that leaves its process id (exec keeps it) for the memory samples.
CLI_REAL=$QL_CLI
QL_CLI=$WORK/pid-cli
printf '#!/bin/sh\necho $$ >"%s/cli.pid"\nexec "%s" "$@"\n' "$WORK" "$CLI_REAL" >"$QL_CLI"
chmod +x "$QL_CLI"

CLI_PID=""
soak_cleanup() {
  local rc=$?
  # A run that failed half-way must not leave the tool running in the lab.
  if [ -n "$CLI_PID" ] && kill -0 "$CLI_PID" 2>/dev/null; then
    kill -KILL "$CLI_PID" 2>/dev/null || true
  fi
  (exit $rc)
  lab_cleanup
}
trap soak_cleanup EXIT

(
  upgrade --kernel "$WORK/2_kernel.img" --fw "$WORK/4_app.img" --threads 10 --auto-retry --json
  echo "$RC" >"$WORK/rc"
) &
RUN_PID=$!
wait_for 30 test -s "$WORK/cli.pid" || fail "the tool did not start: $(cat "$WORK/err")"
CLI_PID=$(cat "$WORK/cli.pid")

# Memory samples "milliseconds kB" until the tool ends or the bound is reached.
t0=$(date +%s%N)
deadline=$((SECONDS + BOUND))
while kill -0 "$CLI_PID" 2>/dev/null; do
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$CLI_PID/status" 2>/dev/null || true)
  [ -z "$rss" ] || echo "$((($(date +%s%N) - t0) / 1000000)) $rss" >>"$WORK/rss"
  if ((SECONDS >= deadline)); then
    kill -KILL "$CLI_PID" 2>/dev/null || true
    fail "the batch ran past its bound of ${BOUND}s"
  fi
  sleep 0.5  # the sampling period, not a wait for a condition
done
CLI_PID=""
wait "$RUN_PID" || true
RC=$(cat "$WORK/rc")
elapsed_ms=$((($(date +%s%N) - t0) / 1000000))
# Every connection recorded, also those still open (none should be).
stop_devsim

echo "batch: $((elapsed_ms / 1000)).$((elapsed_ms % 1000 / 100)) s, exit code $RC, passes $(jqv .totals.passes)"
jq -e .totals "$WORK/out" >/dev/null 2>&1 || fail "no summary (exit code $RC); stderr: $(tail -n 20 "$WORK/err")"
FAILED=0
bad() { echo "MISMATCH: $*" >&2; FAILED=$((FAILED + 1)); }

# ---- exit code and totals
grep -qE "Sanitizer|runtime error:" "$WORK/err" && bad "sanitizer report: $(grep -E -m5 "Sanitizer|runtime error:" "$WORK/err")"
[ "$RC" -eq "$want_rc" ] || bad "exit code $RC, expected $want_rc"
[ "$(jqv .exit_code)" = "$RC" ] || bad "summary exit_code $(jqv .exit_code), process $RC"
[ "$(jqv '"\(.totals.devices) \(.totals.succeeded) \(.totals.failed) \(.totals.not_started)"')" = \
  "$NDEV $((NDEV - want_failed)) $want_failed 0" ] || bad "totals: $(jq -c .totals "$WORK/out")"
[ "$(jqv .totals.passes)" -eq "$want_passes" ] || bad "passes $(jqv .totals.passes), expected $want_passes"
# The counter tells the last pass: the devices tried in it, all finished.
last=$(jqv "[.devices[] | select(.passes == $want_passes)] | length")
[ "$(jqv .counter)" = "$(printf '(%3d/%-3d)' "$last" "$last")" ] || bad "counter '$(jqv .counter)', last pass $last devices"
[ "$(jqv .stopped)" = false ] || bad "the batch says it was stopped"
[ "$(jqv '[.images[] | "\(.slot):\(.bytes):\(.crc32)"] | join(" ")')" = \
  "kernel:$KERNEL_BYTES:$kernel_crc app:$APP_BYTES:$app_crc" ] || bad "images: $(jq -c .images "$WORK/out")"

# ---- every device once, with the outcome and passes its faults lead to
jqv '.devices[] | "\(.ip) \(.outcome) \(.passes)"' | sort >"$WORK/seen"
# The earliest pass is as good as the counted one for a refusing device (see EARLY).
awk -v early="${!EARLY[*]}" '
  BEGIN { n = split(early, a, " "); for (i = 1; i <= n; i++) e[a[i]] = 1 }
  NR == FNR { want[$1] = $3; next }
  { if (($1 in e) && $2 == "success" && $3 >= 1 && $3 < want[$1]) $3 = want[$1]; print }' \
  "$WORK/expected" "$WORK/seen" >"$WORK/seen-cmp"
[ "$(cut -d' ' -f1 "$WORK/seen" | uniq -d | grep -c . || true)" -eq 0 ] ||
  bad "devices listed twice: $(cut -d' ' -f1 "$WORK/seen" | uniq -d | head)"
cut -d' ' -f1-3 "$WORK/expected" >"$WORK/expected3"
diff "$WORK/expected3" "$WORK/seen-cmp" >"$WORK/diff" || bad "summary vs faults (< expected, > seen):
$(head -40 "$WORK/diff")"

# ---- the user report per device: "ip successes failures macs-that-differ"
report_msgs | awk -v list="$WORK/seen" '
  function mac(ip,   o) { split(ip, o, "."); return sprintf("02:51:%02X:%02X:%02X:%02X", o[1], o[2], o[3], o[4]) }
  BEGIN { while ((getline l < list) > 0) { split(l, f, " "); ok[f[1]] = 0; ko[f[1]] = 0; wrong[f[1]] = 0 } }
  /^\[SEARCH\] upgrade (success|failure): IP:/ {
    ip = $4; sub(/^IP:/, "", ip); m = $5; sub(/^MAC:/, "", m)
    if (!(ip in ok)) { print "stranger " ip; next }
    if ($3 == "success:") ok[ip]++; else ko[ip]++
    if (m != mac(ip)) wrong[ip]++
  }
  END { for (ip in ok) print ip, ok[ip], ko[ip], wrong[ip] }' | sort >"$WORK/report"
awk '{ print $1, ($2 == "success" ? 1 : 0), ($2 == "success" ? $3 - 1 : $3), 0 }' "$WORK/seen" >"$WORK/report-want"
diff "$WORK/report-want" "$WORK/report" >"$WORK/diff" || bad "report vs summary (< from the summary, > in the report):
$(head -40 "$WORK/diff")"

# ---- what the devices received: "ip connections kernel-whole app-whole-with-reboot"
jq -rs --arg kc "$kernel_crc" --arg ac "$app_crc" --argjson kb $KERNEL_BYTES --argjson ab $APP_BYTES '
  group_by(.device)[] |
  [.[0].device, length,
   (map(select(.length == $kb and .received == $kb and .digest == $kc and .checksum == "ok"
               and .result == "success")) | length),
   (map(select(.length == $ab and .received == $ab and .digest == $ac and .checksum == "ok"
               and .result == "success" and .reboot_records == 1)) | length)] | join(" ")' \
  "$WORK/record.jsonl" | sort >"$WORK/received"
awk '{ print $1, $4, ($2 == "success" ? 1 : 0), ($2 == "success" ? 1 : 0) }' "$WORK/expected" >"$WORK/received-want"
diff "$WORK/received-want" "$WORK/received" >"$WORK/diff" || bad "connections and images received (< expected, > recorded):
$(head -40 "$WORK/diff")"
grep -q '"result":"aborted"' "$WORK/record.jsonl" && bad "connections still open after the batch: $(grep -c '"result":"aborted"' "$WORK/record.jsonl")"

# ---- memory: the peak of the last third against the peak of the first third
read -r n first_peak last_peak rss_min rss_max < <(awk -v T=$elapsed_ms '
  { n++; if ($1 < T / 3 && $2 > f) f = $2; if ($1 >= 2 * T / 3 && $2 > l) l = $2
    if (!lo || $2 < lo) lo = $2; if ($2 > hi) hi = $2 }
  END { print n + 0, f + 0, l + 0, lo + 0, hi + 0 }' "$WORK/rss")
echo "RSS: $n samples, peak first third $((first_peak / 1024)) MiB ($first_peak kB)," \
  "peak last third $((last_peak / 1024)) MiB ($last_peak kB), range $rss_min..$rss_max kB"
((n >= 6)) || bad "only $n memory samples"
((first_peak > 0 && last_peak > 0)) || bad "no sample in the first or the last third"
if [ -n "${QUILLON_SOAK_SANITIZER:-}" ]; then
  echo "RSS not bounded: $QUILLON_SOAK_SANITIZER sanitizer build"
elif ((last_peak > first_peak + MARGIN_MIB * 1024)); then
  bad "memory grew: last third peaks at $last_peak kB, first third at $first_peak kB (margin $MARGIN_MIB MiB)"
fi

[ "$FAILED" -eq 0 ] || fail "$FAILED checks failed (seed $SEED)"
echo "PASS"

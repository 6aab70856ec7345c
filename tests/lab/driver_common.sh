# SPDX-License-Identifier: Apache-2.0
# Shared by the batch tests (sourced after lab_common.sh): images, a quillon-cli upgrade run in
# the tool's namespace, and the files it leaves.
[ -n "${QL_CLI:-}" ] || fail "QL_CLI not set"
[ -n "${QL_CLI_LAB:-}" ] || fail "QL_CLI_LAB not set"
[ -n "${QL_MKIMAGE:-}" ] || fail "QL_MKIMAGE not set"
command -v jq >/dev/null || fail "jq missing (scripts/setup installs it)"

# The waits that add nothing here are shortened, by the lab's own build of the tool (the shipped
# one reads no such variable); the real-timing test runs the shipped one.
export QUILLON_TEST_TIMING=fast
QL_CLI_SHIPPED=$QL_CLI
QL_CLI=$QL_CLI_LAB

# image NAME SIZE [SEED [XOR]]: $WORK/NAME with valid trailer
image() {
  "$QL_MKIMAGE" image "$WORK/$1" --size "$2" --seed "${3:-1}" ${4:+--xor-key "$4"} || fail "mkimage $1"
}

# crc32 of an image file's data (all but its 204-byte trailer), as 8 hex digits: the CRC that a
# gzip stream carries in its trailer, read as a little-endian word.
image_crc() { head -c -204 "$1" | gzip -1 -c | tail -c 8 | od -An -tx4 -N4 | tr -d ' \n'; }

# upgrade ARGS...: quillon-cli upgrade from $WORK/run (logs in $WORK/run/log); stdout in
# $WORK/out, stderr in $WORK/err, exit code in RC.
upgrade() {
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run"
  upgrade_in_run "$@"
}

# upgrade_in_run ARGS...: the same in $WORK/run as the test left it.
upgrade_in_run() {
  RC=0
  (cd "$WORK/run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" upgrade --adapter lab0 "$@") \
    >"$WORK/out" 2>"$WORK/err" || RC=$?
}

# The user report's messages, without "<pre>[timestamp] " and "</pre>".
report_msgs() {
  sed -E 's/^<pre>\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] //; s#</pre>$##' \
    "$WORK/run/log/upgrade_user.html"
}

# expect_rc N: the last run ended with exit code N.
expect_rc() {
  [ "$RC" -eq "$1" ] || fail "exit code $RC, expected $1; stderr: $(cat "$WORK/err"); stdout: $(cat "$WORK/out")"
}

# jqv FILTER: one value from the JSON summary.
jqv() { jq -r "$1" "$WORK/out"; }

# The MAC the simulator gives an address: 02:51 and the four octets in hex.
sim_mac() {
  local IFS=.
  read -r a b c d <<<"$1"
  printf '02:51:%02X:%02X:%02X:%02X' "$a" "$b" "$c" "$d"
}

# device_records IP: the simulator's record lines of one device (from $WORK/record.jsonl).
device_records() { grep "\"device\":\"$1\"" "$WORK/record.jsonl" || true; }

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The come-back check and the batch journal of quillon-cli.exe, run from a folder whose name has
# Chinese characters and spaces: every device is searched for after its reboot and comes back;
# the journal is written into that folder's log folder under its UTF-8 name and reads back whole;
# history lists it; --resume finds nothing left to do.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
source "$here/wine_common.sh"
lab_init

image 2_kernel.img 6000 3
start_devsim --first 198.18.0.10 --count 5 --burn-ms 20 --reboot-ms 400
run="$WORK/升级 记录"
rm -rf "$run"
mkdir -p "$run"
# cli ARGS...: the program from $run, in the tool's namespace; stdout $WORK/out, exit code RC.
cli() {
  RC=0
  (cd "$run" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" "$@") >"$WORK/out" 2>"$WORK/err" || RC=$?
}

cli upgrade --adapter lab0 --kernel "$(winpath "$WORK/2_kernel.img")" --threads 3 --come-back 20 --json
expect_rc 0
[ "$(jqv '.totals | "\(.succeeded) \(.came_back) \(.not_back)"')" = "5 5 0" ] ||
  fail "totals: $(jqv .totals); $(tr -d '\r' <"$WORK/err")"
for d in 10 11 12 13 14; do
  [ "$(jqv ".devices[] | select(.ip == \"198.18.0.$d\") | \"\(.came_back) \(.version_after)\"")" = "true 1.0.0-new" ] ||
    fail "198.18.0.$d: $(jqv .devices)"
done

journals=("$run"/log/journal_*.jsonl)
[ "${#journals[@]}" -eq 1 ] && [ -f "${journals[0]}" ] ||
  fail "no journal in the folder named in Chinese: $(ls -R "$WORK")"
journal=${journals[0]}
jq -c . "$journal" >/dev/null || fail "a journal line does not parse: $(cat "$journal")"
[ "$(jq -r 'select(.event == "device_came_back") | .came_back' "$journal" | grep -c true)" -eq 5 ] ||
  fail "come-back lines: $(cat "$journal")"
tail -n 1 "$journal" | jq -e '.event == "batch_end"' >/dev/null || fail "no end line: $(tail -n 1 "$journal")"

cli history --json
expect_rc 0
[ "$(jqv 'length')" -eq 1 ] || fail "history: $(cat "$WORK/out")"
[ "$(jqv '.[0] | "\(.journal) \(.unfinished) \(.succeeded)"')" = "$(basename "$journal") false 5" ] ||
  fail "history: $(cat "$WORK/out")"

# A finished batch leaves nothing to resume: refused, and no journal added.
cli upgrade --adapter lab0 --resume --json
expect_rc 2
[ "$(ls "$run"/log/journal_*.jsonl | wc -l)" -eq 1 ] || fail "a refused resume wrote a journal"
wine_session_in_lab
echo "PASS"

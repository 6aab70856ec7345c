#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A package in a folder whose name has Chinese characters and spaces, given as a Windows path:
# "package" unpacks it beside itself and names the slots, "upgrade --package" upgrades from it and
# removes what it unpacked. Every name is UTF-8 in the program and UTF-16 at the Windows API.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
source "$here/wine_common.sh"
lab_init

dir="固件 v2"
mkdir -p "$WORK/$dir"
image "$dir/1_uboot.img" 7000 11
image "$dir/2_kernel_reboot.img" 9000 12
"$QL_MKIMAGE" package "$WORK/$dir/fw.zip" "$WORK/$dir/1_uboot.img" "$WORK/$dir/2_kernel_reboot.img" || fail "package"
mkdir "$WORK/orig"
mv "$WORK/$dir"/*.img "$WORK/orig/"
pkg=$(winpath "$WORK/$dir/fw.zip")
unzip_dir=$(winpath "$WORK/$dir/brelk_upgrade_image")

# package: the table's JSON form, read back as JSON.
RC=0
(cd "$WORK" && exec "$QL_LAB" exec-pc "$LAB_ID" "$QL_CLI" package --json "$pkg") >"$WORK/out" 2>"$WORK/err" || RC=$?
expect_rc 0
[ "$(jqv .ok)" = true ] || fail "not ok: $(cat "$WORK/out")"
[ "$(jqv .package)" = "$pkg" ] || fail "package named as $(jqv .package), expected $pkg"
[ "$(jqv .unzip_dir)" = "$unzip_dir" ] || fail "unpacked into $(jqv .unzip_dir), expected $unzip_dir"
[ "$(jqv '[.slots[] | "\(.slot) \(.reboot_after) \(.path)"] | join("|")')" = \
  "BOOT false $unzip_dir\\1_uboot.img|KERNEL true $unzip_dir\\2_kernel_reboot.img|SYSTEM false |FW false " ] ||
  fail "slots: $(jqv .slots)"
for f in 1_uboot.img 2_kernel_reboot.img; do
  cmp -s "$WORK/orig/$f" "$WORK/$dir/brelk_upgrade_image/$f" ||
    fail "$f not unpacked whole under its UTF-8 name: $(ls -R "$WORK/$dir")"
done

# upgrade --package: twelve devices get both images, the kernel image asks for the reboot.
start_devsim --first 198.18.0.10 --count 12 --burn-ms 20 --reboot-ms 200
upgrade --package "$pkg" --threads 6 --json
expect_rc 0
[ "$(jqv '[.images[] | "\(.slot) \(.reboot_after)"] | join(",")')" = "boot false,kernel true" ] ||
  fail "slots from the package: $(jqv .images)"
[ "$(jqv .totals.succeeded)" -eq 12 ] || fail "totals: $(jqv .totals); $(tr -d '\r' <"$WORK/err")"
[ ! -e "$WORK/$dir/brelk_upgrade_image" ] || fail "the unpacked folder was left behind"
[ "$(grep -c "\"received\":7000,.*\"checksum\":\"ok\".*\"reboot_records\":0,.*\"result\":\"success\"" "$WORK/record.jsonl")" -eq 12 ] ||
  fail "boot image: $(cat "$WORK/record.jsonl")"
[ "$(grep -c "\"received\":9000,.*\"checksum\":\"ok\".*\"reboot_records\":1,.*\"result\":\"success\"" "$WORK/record.jsonl")" -eq 12 ] ||
  fail "kernel image with its reboot request: $(cat "$WORK/record.jsonl")"
echo "PASS"

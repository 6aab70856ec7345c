#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A package with Zip64 records, as Info-ZIP's "zip -fz" (and .NET, 7-Zip) write it: the 32-bit
# sizes of every entry read 0xFFFFFFFF, the real ones are in the Zip64 field. The package verb
# sorts it into the slots byte for byte, and a batch from it gives every device both images whole.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lab_common.sh"
source "$here/driver_common.sh"
command -v zip >/dev/null || fail "zip missing (scripts/setup installs it)"
lab_init

start_devsim --first 198.18.0.10 --count 3 --burn-ms 20 --reboot-ms 300
mkdir -p "$WORK/src/brelk_upgrade_image" "$WORK/pkg"
image src/brelk_upgrade_image/1_uboot.img 300000 21
image src/brelk_upgrade_image/2_kernel_reboot.img 9000 22 77
boot_crc=$(image_crc "$WORK/src/brelk_upgrade_image/1_uboot.img")
kernel_crc=$(image_crc "$WORK/src/brelk_upgrade_image/2_kernel_reboot.img")
(cd "$WORK/src" && zip -q -r -fz "$WORK/pkg/fw.zip" brelk_upgrade_image) || fail "zip -fz"
# Zip64 indeed: the central directory's size fields hold the marker.
python3 - "$WORK/pkg/fw.zip" <<'PY' || fail "the package has no Zip64 sizes"
import struct, sys
d = open(sys.argv[1], 'rb').read()
i = d.find(b'PK\x01\x02', d.find(b'1_uboot.img'))
assert struct.unpack('<I', d[i + 24:i + 28])[0] == 0xFFFFFFFF
PY

# The package verb of the shipped program.
"$QL_CLI_SHIPPED" package "$WORK/pkg/fw.zip" --json >"$WORK/pkg.json" 2>"$WORK/pkg.err" ||
  fail "quillon-cli package: $(cat "$WORK/pkg.err") $(cat "$WORK/pkg.json")"
folder="$WORK/pkg/brelk_upgrade_image"
[ "$(jq -r '[.slots[] | "\(.slot)=\(.path)=\(.reboot_after)"] | join(",")' "$WORK/pkg.json")" = \
  "BOOT=$folder/1_uboot.img=false,KERNEL=$folder/2_kernel_reboot.img=true,SYSTEM==false,FW==false" ] ||
  fail "slots: $(cat "$WORK/pkg.json")"
for f in 1_uboot.img 2_kernel_reboot.img; do
  cmp -s "$folder/$f" "$WORK/src/brelk_upgrade_image/$f" || fail "$f not unpacked byte for byte"
done

# A batch from the package.
upgrade --package "$WORK/pkg/fw.zip" --threads 3 --json
expect_rc 0
[ "$(jqv '[.images[] | "\(.slot) \(.crc32) \(.reboot_after)"] | join(",")')" = \
  "boot $boot_crc false,kernel $kernel_crc true" ] || fail "images: $(jqv .images)"
[ "$(jqv .totals.succeeded)" -eq 3 ] || fail "totals: $(jqv .totals)"
for i in 0 1 2; do
  ip=$("$QL_LAB" addr "$i")
  recs=$(device_records "$ip")
  grep -q "\"received\":300000,\"digest\":\"$boot_crc\".*\"checksum\":\"ok\".*\"reboot_records\":0," <<<"$recs" ||
    fail "$ip: BOOT image not received whole: $recs"
  grep -q "\"received\":9000,\"digest\":\"$kernel_crc\".*\"checksum\":\"ok\".*\"reboot_records\":1," <<<"$recs" ||
    fail "$ip: KERNEL image or its reboot request missing: $recs"
done
echo "PASS"

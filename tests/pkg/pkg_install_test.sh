#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# cmake --install into a fresh prefix: each built program with its man page (compressed, with
# the project's version filled in), the desktop entry, metainfo and icons exactly when the
# desktop program is built, and nothing else.
#   pkg_install_test.sh BUILD_DIR VERSION PROGRAM...
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pkg_common.sh"

build=${1:?BUILD_DIR}
version=${2:?VERSION}
shift 2
[ $# -gt 0 ] || fail "no program is built"
prefix=$(mktemp -d /tmp/quillon-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; rm -f "$prefix.log"; fail "cmake --install failed"; }
rm -f "$prefix.log"

expected=()
desktop=no
for prog in "$@"; do
  expected+=("bin/$prog" "share/man/man1/$prog.1.gz")
  [ -x "$prefix/bin/$prog" ] || fail "bin/$prog not installed or not executable"
  out=$("$prefix/bin/$prog" --version) || fail "installed $prog --version failed"
  [ "$out" = "$prog $version" ] || fail "installed $prog --version says '$out'"
  page=$(gzip -dc "$prefix/share/man/man1/$prog.1.gz") || fail "$prog.1.gz is not gzip"
  grep -q "^\.TH $(tr a-z A-Z <<<"$prog") 1 .*\"Quillon $version\"" <<<"$page" ||
    fail "$prog.1 does not carry version $version: $(grep '^\.TH' <<<"$page")"
  [ "$prog" = quillon ] && desktop=yes
done
if [ $desktop = yes ]; then
  expected+=(share/applications/quillon.desktop share/metainfo/io.quillon.quillon.metainfo.xml
             share/icons/hicolor/scalable/apps/quillon.svg)
  for size in 16 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/quillon.png")
  done
fi

actual=$(cd "$prefix" && find . -type f -printf '%P\n' | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$actual" != "$want" ]; then
  diff <(echo "$want") <(echo "$actual") >&2 || true
  fail "installed files differ from the expected list (< expected, > installed)"
fi
echo "PASS: $(wc -l <<<"$actual") files installed for: $*"

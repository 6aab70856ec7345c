#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The packaging files in the source tree: desktop entry and AppStream metainfo validate, the
# icons have the sizes their folders promise, the man pages format without warnings and
# document every option the built programs offer, and the metainfo names the project's version.
#   pkg_files_test.sh SOURCE_DIR VERSION [PROGRAM=PATH ...]
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pkg_common.sh"

src=${1:?SOURCE_DIR}
version=${2:?VERSION}
shift 2
pkg="$src/packaging"
need appstreamcli appstream
need desktop-file-validate desktop-file-utils
need groff groff-base

# Desktop entry and metainfo: the validators' errors and warnings fail; hints and notes do not.
desktop-file-validate "$pkg/quillon.desktop" | grep -v ': hint: ' && fail "desktop entry has errors"
appstreamcli validate --no-net "$pkg/io.quillon.quillon.metainfo.xml" ||
  fail "metainfo does not validate"
grep -qx 'Exec=quillon' "$pkg/quillon.desktop" || fail "desktop entry does not start quillon"
grep -qx 'Icon=quillon' "$pkg/quillon.desktop" || fail "desktop entry does not name the quillon icon"
grep -q '<launchable type="desktop-id">quillon.desktop</launchable>' "$pkg/io.quillon.quillon.metainfo.xml" ||
  fail "metainfo does not launch quillon.desktop"
# The newest release (listed first) must be this version, or software centres show an old one.
newest=$(grep -oE '<release version="[^"]+"' "$pkg/io.quillon.quillon.metainfo.xml" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "metainfo's newest release is '$newest', the project is $version"

# Icons: every hicolor size, each PNG as large as its folder says, and the scalable source.
[ -s "$pkg/icons/quillon.svg" ] || fail "no scalable icon"
grep -q '<svg' "$pkg/icons/quillon.svg" || fail "quillon.svg is not an SVG"
for size in 16 32 48 64 128 256; do
  png="$pkg/icons/hicolor/${size}x${size}/apps/quillon.png"
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  [ "$(od -An -c -j1 -N3 "$png" | tr -d ' ')" = PNG ] || fail "$png is not a PNG"
  read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x${h}"
done

# Man pages: groff's own warnings (-ww) fail, as does a page for a program that does not exist.
for page in "$pkg"/man/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page: $warnings"
  [ -z "$warnings" ] || fail "$page: $warnings"
done

# Every option a built program offers is in its man page, for the program and each verb.
for entry in "$@"; do
  name=${entry%%=*}
  exe=${entry#*=}
  page="$pkg/man/$name.1"
  [ -f "$page" ] || fail "no man page for $name"
  "$exe" --version | grep -qx "$name $version" || fail "$name --version says '$("$exe" --version)'"
  verbs=$("$exe" --help | awk '/^Subcommands:/ {on=1; next} on && /^  [a-z]/ {print $1}')
  checked=0
  for verb in "" $verbs; do
    if [ -z "$verb" ]; then
      text=$(cat "$page")
    else
      # A verb's options belong in its own section; --help is described once for all.
      text=$(awk -v h=".SS $verb" '$0 == h {on=1; next} on && /^\.S[SH] / {on=0} on' "$page")
      [ -n "$text" ] || fail "verb $verb has no section in $name.1"
    fi
    # shellcheck disable=SC2086
    for opt in $(help_options "$exe" $verb); do
      [ -n "$verb" ] && [ "$opt" = --help ] && continue
      grep -qF -- "$(sed 's/-/\\-/g' <<<"$opt")" <<<"$text" || fail "$name ${verb:+$verb }$opt is not in $name.1"
      checked=$((checked + 1))
    done
  done
  [ "$checked" -gt 1 ] || fail "found no options in $name --help"
  echo "$name: $checked options documented"
done
echo "PASS: desktop entry, metainfo, icons and man pages"

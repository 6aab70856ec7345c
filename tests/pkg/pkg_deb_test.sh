#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian package on a clean Debian 12: builds the .deb with cpack, installs it with apt into
# a fresh minbase root made by debootstrap (its dependencies come from the machine's own Debian
# mirror), checks what the package put there (programs that start, the capability granted by
# postinst), then runs the installed quillon-devsim and quillon-cli search from that root inside
# the network lab, and a range upgrade as an ordinary user that only the capability granted by
# the package's postinst makes possible.
#
#   pkg_deb_test.sh SOURCE_DIR BUILD_DIR VERSION CACHE_DIR PROGRAM...
#
# debootstrap takes about two minutes, so its result is kept as a tarball in CACHE_DIR (a folder
# of the build tree) and every run unpacks a fresh root from it; delete CACHE_DIR to start over.
# The .deb files apt downloads into the root are kept there too. Needs root; without root, or when
# the mirror cannot be reached, the test is skipped (exit 77) unless CI=true, where it fails.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pkg_common.sh"

src=${1:?SOURCE_DIR}
build=${2:?BUILD_DIR}
version=${3:?VERSION}
cache=${4:?CACHE_DIR}
shift 4
programs=" $* "
readonly suite=bookworm

skip() {
  [ "${CI:-}" = true ] && fail "$* (CI needs this test)"
  echo "SKIP: $*"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot, network namespaces)"
need debootstrap debootstrap
need dpkg-shlibdeps dpkg-dev
need unshare util-linux
need jq jq
lab="$src/tools/lab/lab"
[ -f "$lab" ] || fail "no lab script at $lab"
[[ "$programs" == *" quillon-cli "* ]] || fail "quillon-cli is not built"
[[ "$programs" == *" quillon-devsim "* ]] || fail "quillon-devsim is not built"
[ -x "${QL_MKIMAGE:-}" ] || fail "quillon-mkimage is not built (QL_MKIMAGE)"

# The Debian mirror this machine's apt uses for $suite (one-line and deb822 source lists).
debian_mirror() {
  local f
  {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      awk -v suite=$suite '$1 == "deb" {
          i = 2
          if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
          if ($(i + 1) == suite) { print $i; exit }
        }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk -v suite=$suite 'BEGIN { RS = ""; FS = "\n" }
        {
          types = ""; uris = ""; suites = ""; enabled = "yes"
          for (j = 1; j <= NF; j++) {
            if ($j ~ /^[ \t]*#/ || index($j, ":") == 0) continue
            key = tolower(substr($j, 1, index($j, ":") - 1))
            val = substr($j, index($j, ":") + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", val)
            if (key == "types") types = val
            else if (key == "uris") uris = val
            else if (key == "suites") suites = val
            else if (key == "enabled") enabled = tolower(val)
          }
          if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " suite " ")) {
            split(uris, u, " "); print u[1]; exit
          }
        }' "$f"
    done
  } | head -n1
}

# A failed download is "cannot reach the mirror"; anything else is a real failure.
unreachable() { grep -qE "Failed getting release file|Couldn't download|Failed to fetch|Temporary failure resolv|Could not resolve|Network is unreachable|Connection timed out|Unable to connect" "$1"; }

mirror=$(debian_mirror)
[ -n "$mirror" ] || skip "no Debian $suite mirror in /etc/apt/sources.list*"

t0=$SECONDS
work=$(mktemp -d /tmp/quillon-pkgtest.XXXXXX)
root=""
lab_id=""
devsim_pid=""
cleanup() {
  local rc=$?
  if [ -n "$devsim_pid" ]; then
    kill -TERM "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
  fi
  [ -z "$lab_id" ] || "$lab" down "$lab_id" || true
  if [ -n "$root" ]; then
    # Mounts are made in private mount namespaces only; never delete through one that leaked.
    if grep -qF "$root" <<<"$(findmnt -rn -o TARGET)"; then
      echo "pkg test: something is still mounted below $root; left in place" >&2
    else
      rm -rf "$root"
    fi
  fi
  if [ $rc -ne 0 ] && [ -f "$work/devsim.log" ]; then
    echo "--- simulator log" >&2
    tail -n 20 "$work/devsim.log" >&2
  fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT

# 1. The package.
(cd "$build" && cpack -G DEB -B "$work/cpack" --config "$build/CPackConfig.cmake") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/cpack/quillon_"$version"_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "cpack made no quillon_${version}_*.deb: $(ls "$work/cpack")"
fields=$(dpkg-deb -f "$deb" Package Section Depends)
grep -qx 'Package: quillon' <<<"$fields" || fail "package name: $fields"
grep -qx 'Section: net' <<<"$fields" || fail "section: $fields"
grep -q 'libcap2-bin' <<<"$fields" || fail "libcap2-bin missing from Depends: $fields"
grep -q 'libc6' <<<"$fields" || fail "no library dependencies (dpkg-shlibdeps did not run): $fields"
echo "package: $(basename "$deb") ($(( $(stat -c %s "$deb") / 1024 )) KiB), $((SECONDS - t0)) s"

# 2. A fresh root, from the cached debootstrap result when there is one for this mirror.
mkdir -p "$cache/archives"
template="$cache/$suite-minbase.tar"
if [ ! -f "$template" ] || [ "$(cat "$cache/$suite-minbase.mirror" 2>/dev/null)" != "$mirror" ]; then
  t1=$SECONDS
  fresh="$cache/debootstrap.tmp"
  rm -rf "$fresh" "$template" "$cache/$suite-minbase.mirror"
  if ! debootstrap --variant=minbase "$suite" "$fresh" "$mirror" >"$work/debootstrap.log" 2>&1; then
    tail -n 20 "$work/debootstrap.log" >&2
    unreachable "$work/debootstrap.log" && { rm -rf "$fresh"; skip "debootstrap cannot reach $mirror"; }
    fail "debootstrap failed"
  fi
  chroot "$fresh" apt-get clean
  tar -C "$fresh" -cf "$template.part" . && mv "$template.part" "$template"
  echo "$mirror" >"$cache/$suite-minbase.mirror"
  rm -rf "$fresh"
  echo "debootstrap ($suite minbase from $mirror): $((SECONDS - t1)) s, kept in $template"
else
  echo "debootstrap: reusing $template"
fi
root=$(mktemp -d "$cache/root.XXXXXX")
tar -C "$root" -xf "$template"
# Nothing installed here may start a service.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A throwaway root: dpkg need not sync every file it unpacks.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"

# Runs a command in the root with /proc mounted in a private mount namespace: the mount ends
# with the command, whatever happens to this script.
in_root() {
  unshare --mount --propagation private -- sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" "$@"
}

# 3. The package and its dependencies, with apt, from the mirror.
t2=$SECONDS
if ! in_root apt-get -q update >"$work/apt.log" 2>&1 || grep -qE '^E: |Failed to fetch' "$work/apt.log"; then
  cat "$work/apt.log" >&2
  unreachable "$work/apt.log" && skip "apt in the root cannot reach $mirror"
  fail "apt-get update in the root failed"
fi
cp -n "$cache"/archives/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp "$deb" "$root/tmp/"
if ! in_root env DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends install \
      "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1; then
  tail -n 30 "$work/install.log" >&2
  unreachable "$work/install.log" && skip "apt in the root cannot reach $mirror"
  fail "apt-get install of the package failed"
fi
cp -n "$root"/var/cache/apt/archives/*.deb "$cache/archives/" 2>/dev/null || true
echo "apt: $(grep -c '^Setting up ' "$work/install.log") packages set up, $((SECONDS - t2)) s"
grep '^quillon: ' "$work/install.log" >&2 || true  # what postinst had to say

# 4. What the package installed.
in_root dpkg-query -W -f='${Status}' quillon | grep -qx 'install ok installed' || fail "quillon not installed"
for prog in $programs; do
  out=$(in_root "/usr/bin/$prog" --version 2>&1) || fail "$prog --version in the root: $out"
  [ "$out" = "$prog $version" ] || fail "$prog --version in the root says '$out'"
  [ -f "$root/usr/share/man/man1/$prog.1.gz" ] || fail "no man page for $prog"
done
for prog in quillon quillon-cli; do
  [[ "$programs" == *" $prog "* ]] || continue
  caps=$(in_root getcap "/usr/bin/$prog")
  grep -q 'cap_net_raw[=+]ep' <<<"$caps" || fail "postinst did not grant cap_net_raw to $prog: '$caps'"
done
[ -z "$(in_root getcap /usr/bin/quillon-devsim)" ] || fail "quillon-devsim was given a capability"

# 5. The installed programs in the lab: the simulator on the devices' side, the search on the tool's.
"$lab" check || fail "cannot create network namespaces"
lab_id="pkg$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
"$lab" up "$lab_id" 3 >/dev/null
"$lab" exec-dev "$lab_id" chroot "$root" quillon-devsim --first 198.18.0.10 --count 3 \
  --ready-file /tmp/devsim.ready >"$work/devsim.log" 2>&1 &
devsim_pid=$!
deadline=$((SECONDS + 20))
until [ -f "$root/tmp/devsim.ready" ]; do
  kill -0 "$devsim_pid" 2>/dev/null || fail "quillon-devsim ended: $(cat "$work/devsim.log")"
  ((SECONDS < deadline)) || fail "quillon-devsim not ready after 20 s"
  sleep 0.1
done
"$lab" exec-pc "$lab_id" chroot "$root" quillon-cli search --json >"$work/search.json" 2>"$work/search.err" ||
  fail "quillon-cli search in the root failed: $(cat "$work/search.err")"
ips=$(jq -r '.devices[].ip' "$work/search.json" | sort | tr '\n' ' ')
[ "$ips" = "198.18.0.10 198.18.0.11 198.18.0.12 " ] || fail "search listed '$ips': $(cat "$work/search.json")"
[ "$(jq -r .adapter "$work/search.json")" = lab0 ] || fail "search did not pick lab0: $(cat "$work/search.json")"

# 6. What the capability is for: range mode as an ordinary user. Unprivileged ICMP sockets are
# closed in the tool's namespace, so only the capability granted by postinst lets the probe out;
# a copy of the program without it (cp drops the capability) must say what is missing.
run="$root/tmp/ql-run"
mkdir -p "$run"
chown nobody:nogroup "$run"
"$QL_MKIMAGE" image --size 40000 "$run/fw.img" >/dev/null
chmod 644 "$run/fw.img"
cp "$root/usr/bin/quillon-cli" "$run/quillon-cli-nocap"
"$lab" exec-pc "$lab_id" sysctl -q -w net.ipv4.ping_group_range="1 0"
as_user() { "$lab" exec-pc "$lab_id" chroot --userspec=nobody:nogroup "$root" "$@"; }

rc=0
as_user /tmp/ql-run/quillon-cli-nocap upgrade --fw /tmp/ql-run/fw.img --range 198.18.0.10-12 \
  --log-dir /tmp/ql-run/nocap --json >"$work/nocap.json" 2>"$work/nocap.err" || rc=$?
[ $rc -ne 0 ] || fail "range mode without the capability succeeded: the namespace lets ICMP out anyway"
grep -q CAP_NET_RAW "$work/nocap.err" || fail "no word of CAP_NET_RAW without it: $(tail -n 5 "$work/nocap.err")"

rc=0
as_user quillon-cli upgrade --fw /tmp/ql-run/fw.img --range 198.18.0.10-12 --threads 3 \
  --log-dir /tmp/ql-run/logs --json >"$work/range.json" 2>"$work/range.err" || rc=$?
[ $rc -eq 0 ] || fail "range upgrade as nobody ended with $rc: $(tail -n 5 "$work/range.err")"
[ "$(jq -r .totals.succeeded "$work/range.json")" = 3 ] || fail "range upgrade: $(cat "$work/range.json")"
[ -s "$run/logs/upgrade_user.html" ] || fail "no report written by the range upgrade"
echo "range upgrade as nobody with the packaged capability: 3 devices upgraded"

# 7. The packaged desktop program starts on the clean system with only its declared dependencies
# (offscreen: the root has no display). Start-up creates the window, then opens its report, then
# sends one search, so it runs in the lab too.
if [[ "$programs" == *" quillon "* ]]; then
  mkdir -p "$root/tmp/ql-gui"
  "$lab" exec-pc "$lab_id" chroot "$root" sh -c 'cd /tmp/ql-gui && exec env QT_QPA_PLATFORM=offscreen quillon' \
    >"$work/gui.log" 2>&1 &
  gui_pid=$!
  deadline=$((SECONDS + 30))
  until [ -f "$root/tmp/ql-gui/log/upgrade_user.html" ]; do
    kill -0 "$gui_pid" 2>/dev/null || { wait "$gui_pid" || true; fail "quillon ended at start-up: $(tail -n 20 "$work/gui.log")"; }
    ((SECONDS < deadline)) || fail "quillon opened no report within 30 s: $(tail -n 20 "$work/gui.log")"
    sleep 0.1
  done
  kill -0 "$gui_pid" 2>/dev/null || fail "quillon ended after start-up: $(tail -n 20 "$work/gui.log")"
  kill -TERM "$gui_pid"
  wait "$gui_pid" 2>/dev/null || true
  echo "quillon: started offscreen from the package"
fi

# The packaged simulator ends cleanly on SIGTERM.
kill -TERM "$devsim_pid"
rc=0
wait "$devsim_pid" || rc=$?
devsim_pid=""
[ $rc -eq 0 ] || fail "quillon-devsim ended with $rc on SIGTERM"

echo "PASS: $(basename "$deb") installs on Debian $suite minbase, finds and upgrades the lab's 3 devices ($((SECONDS - t0)) s in all)"

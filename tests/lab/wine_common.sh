# SPDX-License-Identifier: Apache-2.0
# Shared by the Wine lab scripts (sourced after lab_common.sh): the lab's Wine session.
# Needs WINEPREFIX (the lab's prefix) and, for the checks, LAB_ID.

# wine_session_pids: the processes of this prefix's Wine session (the wineserver, the services it
# started, the programs): Wine's own executables with this WINEPREFIX in their environment.
wine_session_pids() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in */wine/*|*/wine64*|*/wineserver*) ;; *) continue ;; esac
    grep -qz "^WINEPREFIX=$WINEPREFIX\$" "$p/environ" 2>/dev/null && echo "${p#/proc/}"
  done
  return 0
}

# wine_session_in_lab: every process of the session runs in the lab's tool namespace, so every
# socket the Windows program has (made by the wineserver) is there too.
wine_session_in_lab() {
  local pid ns bad=""
  for pid in $(wine_session_pids); do
    ns=$(ip netns identify "$pid" 2>/dev/null || true)
    [ -z "$ns" ] && ! kill -0 "$pid" 2>/dev/null && continue  # ended meanwhile
    [ "$ns" = "ql-pc-$LAB_ID" ] || bad="$bad $pid($(tr -d '\n' <"/proc/$pid/comm" 2>/dev/null):${ns:-own})"
  done
  [ -z "$bad" ] || fail "Wine processes outside the lab's tool namespace:$bad"
}

# winpath PATH: the Windows form of an absolute Linux path (Wine's drive Z: is /).
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

#!/usr/bin/env bash
# The strip under real window managers, each on its own Xvfb and all at once,
# then one table of behaviours by manager. A manager is one line below: its
# name, the y it gives a strip asked for at -2 (metacity and IceWM keep a
# window's top on the screen, xfwm4 moves it 15 px down as it maps it,
# gnome-shell keeps it below its 32 px top bar), and the command that runs it
# (in a private HOME), or "session KIND" for a desktop that wm_session.sh
# brings up: gnome-shell on the Xvfb, the Wayland compositors with their own
# XWayland instead of an Xvfb.
#
# Usage: wm_matrix.sh kivo [manager...]     Default: every manager below.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: wm_matrix.sh kivo [manager...]}
shift

managers=(
  "openbox        -2 openbox --sm-disable"
  "xfwm4          15 dbus-run-session -- xfwm4 --compositor=off --sm-client-disable"
  "metacity        0 metacity --no-composite --sm-disable"
  "i3             -2 i3"
  "fluxbox        -2 fluxbox"
  "icewm           0 icewm"
  "gnome-shell    32 session gnome-shell"
  "kwin-x11        0 kwin_x11 --replace"
  "mutter-wayland  0 session mutter-wayland"
  "kwin-wayland    0 session kwin-wayland"
)

wanted=("$@")
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-wm-matrix.XXXXXX")
trap 'rm -rf "$work"' EXIT

pids=() names=()
for line in "${managers[@]}"; do
  read -r name top_y command <<<"$line"
  if [ ${#wanted[@]} -gt 0 ] && [[ " ${wanted[*]} " != *" $name "* ]]; then continue; fi
  # shellcheck disable=SC2206 # the command's words
  run=("$here/../with_xvfb.sh" "$here/wm_desktop.sh" "$exe" "$name" "$top_y" $command)
  program=${command%% *}
  [ "$program" = dbus-run-session ] && program=$(awk '{print $3}' <<<"$command")
  if [ "$program" = session ]; then
    kind=${command#session }
    run=("$here/wm_session.sh" "$kind" "$here/wm_desktop.sh" "$exe" "$name" "$top_y" -)
    case $kind in
      gnome-shell) program=gnome-shell run=("$here/../with_xvfb.sh" "${run[@]}") ;;
      mutter-wayland) program="mutter Xwayland" ;;
      kwin-wayland) program="kwin_wayland Xwayland" ;;
    esac
  fi
  for binary in $program; do
    if ! command -v "$binary" >/dev/null; then
      echo "FAIL: $binary is not installed (run scripts/install-deps.sh as root)" >&2
      exit 1
    fi
  done
  "${run[@]}" >"$work/$name.log" 2>&1 &
  pids+=($!)
  names+=("$name")
done

status=0 ended=()
for i in "${!pids[@]}"; do
  ended[i]=0
  wait "${pids[$i]}" || ended[i]=$?
  [ "${ended[$i]}" = 0 ] || status=1
done

# One row per manager, one column per behaviour.
checks=$(cat "$work"/*.log | awk '/^CHECK / {print $2}' | awk '!seen[$0]++')
printf '%-14s' manager
for c in $checks; do printf ' %s' "$c"; done
echo
for name in "${names[@]}"; do
  printf '%-14s' "$name"
  for c in $checks; do
    result=$(awk -v c="$c" '$1 == "CHECK" && $2 == c {print $3}' "$work/$name.log" | tail -1)
    printf " %-${#c}s" "${result:--}"
  done
  echo
done
for i in "${!names[@]}"; do
  name=${names[$i]}
  if grep -qE '^CHECK [^ ]+ fail|^FAIL' "$work/$name.log"; then
    echo "=== $name"
    grep -E '^CHECK [^ ]+ fail|^FAIL|^---' "$work/$name.log"
  elif [ "${ended[$i]}" != 0 ]; then
    echo "=== $name ended with ${ended[$i]} before its last check:"
    tail -5 "$work/$name.log"
  fi
done
exit $status

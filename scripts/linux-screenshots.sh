#!/usr/bin/env bash
# Redoes the Linux screenshots in docs/: the strip in each view, and the Setup,
# About and font dialogs, from build/linux/kivo on a private Xvfb with a
# settings file of its own.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/linux/kivo
docs=$root/docs
[ -x "$exe" ] || { echo "screenshots: build it first (cmake --build --preset linux)" >&2; exit 1; }
if [ "${1:-}" != --on-display ]; then
  exec "$root/tests/with_xvfb.sh" "$0" --on-display
fi
# shellcheck source=tests/e2e/screen.sh
source "$root/tests/e2e/screen.sh"

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work
mkdir -p "$docs"

# Saves the window named $1 with a margin of 4 pixels to docs/$2.
shoot() {
  local id x y w h
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.05
  done
  [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; exit 1; }
  sleep 0.5
  read -r x y w h < <(geometry "$id")
  local top=$((y > 4 ? y - 4 : 0))
  import -window root -crop "$((w + 8))x$((y + h + 4 - top))+$((x - 4))+$top" +repage "$docs/$2"
  echo "docs/$2"
}

menu() {
  xdotool mousemove 600 5 click 3
  sleep 0.5
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
}

"$exe" &
pid=$!
sleep 3
shoot Kivo2 linux-performance.png
menu 3
shoot "Kivo Setup" linux-setup.png
xdotool key Escape
menu 4
shoot "About Kivo" linux-about.png
xdotool key Return
menu 2
shoot "Kivo Font" linux-font.png
xdotool key Escape
kill -TERM "$pid"
wait "$pid" || true

printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]\r\n"view"=dword:00000001\r\n' \
  >"$XDG_CONFIG_HOME/kivo/kivo.reg"
"$exe" &
pid=$!
sleep 3
shoot Kivo2 linux-legacy.png
kill -TERM "$pid"
wait "$pid" || true

#!/usr/bin/env bash
# Starts the Linux strip. With a DISPLAY it runs there until you choose Quit
# from its right-button menu. Without one it runs on a private Xvfb for a few
# seconds, saves a screenshot of the top of the screen to build/screenshot.png
# and quits through its menu, as a user would.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/linux/kivo
screenshot=$root/build/screenshot.png

[ -x "$exe" ] || { echo "run: $exe is missing: cmake --preset linux && cmake --build --preset linux" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != --headless ]; then
  exec "$exe"
fi
if [ -z "${DISPLAY:-}" ] || [ "${1:-}" != --headless ]; then
  echo "No display: running the strip on a private Xvfb for a few seconds."
  exec "$root/tests/with_xvfb.sh" "$0" --headless
fi

"$exe" </dev/null &
pid=$!
strip=""
for _ in $(seq 100); do
  strip=$(xdotool search --onlyvisible --name '^Kivo2$' 2>/dev/null | head -1 || true)
  [ -n "$strip" ] && break
  kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; echo "run: kivo ended before its window appeared" >&2; exit 1; }
  sleep 0.1
done
[ -n "$strip" ] || { kill "$pid"; echo "run: no strip window within 10 s" >&2; exit 1; }
sleep 3  # a few refreshes, so the rates have two samples behind them
import -window root -crop 1280x40+0+0 +repage "$screenshot"
echo "The strip: $(xwininfo -id "$strip" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
  /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print w "x" h " at " x "," y}'); screenshot in $screenshot"
# Quit: the fifth item of the right-button menu.
xdotool mousemove 600 5 click 3
sleep 0.5
xdotool key Down Down Down Down Down Return
status=0
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  echo "run: the strip did not quit from its menu; stopped it" >&2
  exit 1
fi
wait "$pid" || status=$?
echo "Quit from the menu; exit code $status. Settings: ${XDG_CONFIG_HOME:-$HOME/.config}/kivo/kivo.reg"
exit "$status"

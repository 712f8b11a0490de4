#!/usr/bin/env bash
# Runs the 32-bit Windows build under Wine with Wine's own pdh.dll (so the
# rates and the processor load read -1; memory, disk and date are real).
#
# With a DISPLAY it runs there until you choose Quit from the strip's menu.
# Without one it runs on a private Xvfb for a few seconds, saves a screenshot
# of the top of the screen to build/windows-screenshot.png, prints the status
# line it drew and quits through the menu.
#
# The prefix in build/wine-run/ is kept between runs, so the strip's settings
# are too; delete that folder to start from defaults.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/windows-i686/kivo.exe
screenshot=$root/build/windows-screenshot.png

fail() {
  echo "windows-run: $*" >&2
  exit 1
}

[ -f "$exe" ] || fail "$exe is missing: cmake --preset windows-i686 && cmake --build --preset windows-i686"
for tool in wine wineserver; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done

if [ -z "${DISPLAY:-}" ]; then
  [ "${1:-}" != --headless ] || fail "tests/with_xvfb.sh gave no DISPLAY"
  [ -x "$root/tests/with_xvfb.sh" ] || fail "no DISPLAY, and tests/with_xvfb.sh is missing"
  exec "$root/tests/with_xvfb.sh" "$0" --headless
fi
headless=false
[ "${1:-}" = --headless ] && headless=true

# shellcheck source=tests/e2e/wine_prefix.sh
source "$root/tests/e2e/wine_prefix.sh"
wine_environment win32 "$root/build/wine-run"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=b"
wine_restore_prefix "$root/build/wine-prefix.tar"

if ! $headless; then
  trap 'wineserver -k 2>/dev/null || true' INT TERM
  cd "$(dirname "$exe")"
  status=0
  wine kivo.exe || status=$?
  echo "kivo.exe exited with $status"
  exit "$status"
fi

for tool in xdotool xwininfo import; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
log=$(mktemp "${TMPDIR:-/tmp}/kivo-windows-run.XXXXXX")
kivo_pid=""
# The private Xvfb goes when this script ends: Wine's own processes (the
# desktop, the server) go first, which also writes the settings to user.reg.
# shellcheck disable=SC2317 # run by the trap
cleanup() {
  local status=$?
  wineserver -k 2>/dev/null || true
  rm -f "$log"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

(cd "$(dirname "$exe")" && WINEDEBUG=-all,+font exec wine kivo.exe) </dev/null >"$log" 2>&1 &
kivo_pid=$!
strip=""
for _ in $(seq 300); do
  strip=$(xdotool search --onlyvisible --name '^Kivo2$' 2>/dev/null | head -1 || true)
  [ -n "$strip" ] && break
  kill -0 "$kivo_pid" 2>/dev/null || fail "kivo.exe ended before its window appeared"
  sleep 0.1
done
[ -n "$strip" ] || fail "no window named Kivo2 within 30 s"

# A few refreshes, so the rates have had two collections to compare.
sleep 3
import -window root -crop 1280x40+0+0 +repage "$screenshot"
echo "screenshot: $screenshot"
line=$(grep 'NtGdiExtTextOutW.* Ram ' "$log" | sed -n 's/.*, L"\(.*\)", [0-9]*, .*/\1/p' | tail -1)
echo "status line: $line"

# Quit through the menu, as a user would, so the settings are saved.
read -r x y < <(xwininfo -id "$strip" | awk '/Absolute upper-left X/ {x = $NF}
  /Absolute upper-left Y/ {y = $NF} END {print x, y}')
xdotool mousemove $((x + 100)) $((y < 0 ? 5 : y + 5)) click 3
for _ in $(seq 100); do
  # The menu is kivo.exe's other visible window.
  [ "$(xdotool search --onlyvisible --class '^kivo\.exe$' 2>/dev/null | grep -vcx "$strip")" -gt 0 ] && break
  sleep 0.1
done
xdotool key Down Down Down Down Down Return
kivo_name=kivo.exe close_wait_s=10
# shellcheck source=tests/e2e/process.sh
source "$root/tests/e2e/process.sh"
wait_for_exit
echo "kivo.exe exited with $kivo_status"
exit "$kivo_status"

#!/usr/bin/env bash
# Makes the README's pictures of the Windows build: the 32-bit exe under Wine
# on a private Xvfb, driven through its menu as a user would, each picture
# cropped to the window it shows (plus a few pixels of the screen around it).
#
#   docs/windows-performance.png  the strip's text view
#   docs/windows-font.png         Select Font: Wine's font dialog
#   docs/windows-setup.png        the Setup dialog
#   docs/windows-legacy.png       the bar view, as it starts
#   docs/windows-about.png        the About dialog
#
# The exe runs beside the test double pdh.dll of its build, whose rates and
# processor load are fixed (Wine's own pdh.dll has none to give: they would
# read -1); the date, memory and disk figures are the machine's. With no
# window manager, Wine draws the dialogs' frames and captions itself.
#
# Usage: scripts/windows-screenshots.sh [kivo.exe]   (default: the windows-i686 build)
set -euo pipefail
exec </dev/null

root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/windows-i686/kivo.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
double=$(dirname "$exe")/tests/e2e/pdh_double/pdh.dll
docs=$root/docs
# Screen pixels kept around each window.
margin=4

fail() {
  echo "windows-screenshots: $*" >&2
  exit 1
}

[ -f "$exe" ] || fail "$exe is missing: cmake --preset windows-i686 && cmake --build --preset windows-i686"
[ -f "$double" ] || fail "the pdh.dll test double $double is missing: build the same preset as the exe"
for tool in wine wineserver xdotool xwininfo import flock; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done

# Always a private Xvfb: a desktop's window manager and theme would change
# the pictures.
if [ "${KIVO_SCREENSHOTS_ON_XVFB:-}" != 1 ]; then
  KIVO_SCREENSHOTS_ON_XVFB=1 exec "$root/tests/with_xvfb.sh" "$0" "$exe"
fi

# shellcheck source=tests/e2e/wine_prefix.sh
source "$root/tests/e2e/wine_prefix.sh"
# shellcheck source=tests/e2e/screen.sh
source "$root/tests/e2e/screen.sh"

# A folder of its own each time, so the strip starts from its defaults.
wine_run_folder "$exe" wine-screenshots.XXXXXX "$root/build"
wine_end_run_on_exit ""

wine_restore_prefix "$prefix_tar"
wineserver -p
app=$work/app
mkdir -p "$app" "$docs"
cp "$exe" "$app/kivo.exe"
cp "$double" "$app/pdh.dll"
log=$app/wine.log
# The font trace records each status line drawn, which tells when the strip
# has something to show.
start_kivo() {
  (cd "$app" && WINEDEBUG=-all,+font exec wine kivo.exe) >"$log" 2>&1 &
  kivo_pid=$!
}
start_kivo

ensure_running() {
  kill -0 "$kivo_pid" 2>/dev/null || fail "kivo.exe ended $1"
}

# Waits for a condition (a command and its arguments), for at most 15 s.
wait_until() {
  local what=$1 i
  shift
  for i in $(seq 150); do
    "$@" && return 0
    ensure_running "while waiting for $what"
    sleep 0.1
  done
  fail "no $what within 15 s"
}

visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
has_focus() { [ -n "$(visible "$1")" ] && [ "$(xdotool getwindowfocus 2>/dev/null || true)" = "$(visible "$1")" ]; }
gone() { [ -z "$(visible "$1")" ]; }
status_lines_at_least() { [ "$(grep -c 'NtGdiExtTextOutW.* Ram ' "$log" || true)" -ge "$1" ]; }
menu_open() { [ "$(xdotool search --onlyvisible --class '^kivo\.exe$' 2>/dev/null | wc -l)" -ge 2 ]; }
strip_shown() { [ -n "$(visible Kivo2)" ]; }
ended() { ! kill -0 "$kivo_pid" 2>/dev/null; }

# Saves the window named $1, with the margin, as docs/$2. Metadata such as
# the time of writing is left out, so an unchanged picture gives the same file.
shoot() {
  local id x y w h
  id=$(visible "$1")
  [ -n "$id" ] || fail "no window named $1 to take a picture of"
  read -r x y w h < <(geometry "$id")
  w=$((w + 2 * margin))
  h=$((h + 2 * margin))
  x=$((x - margin))
  y=$((y - margin))
  if [ "$x" -lt 0 ]; then
    w=$((w + x))
    x=0
  fi
  if [ "$y" -lt 0 ]; then
    h=$((h + y))
    y=0
  fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -depth 8 -strip \
    -define png:exclude-chunks=date,time "png:$docs/$2"
  echo "$docs/$2 (${w}x$h)"
}

# Right-clicks the strip and picks the item $1 down. Each click lands 8
# pixels from the last: two within Wine's double-click time and square would
# make a double-click, which opens no menu.
menu_x=0
choose_from_menu() {
  local sx sy
  read -r sx sy _ < <(geometry "$(visible Kivo2)")
  menu_x=$((menu_x + 8))
  xdotool mousemove $((sx + 100 + menu_x)) $((sy < 0 ? 5 : sy + 5)) click 3
  wait_until "menu" menu_open
  local keys=() i
  for ((i = 0; i < $1; i++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
}

# Clicks the point $2,$3, in dialog units, of the Setup dialog: Wine lays
# out its MS Sans Serif 8 at 3 pixels to 2 units, inside a frame equal at the
# sides and bottom, below the caption.
click_in_setup() {
  local x y w h side top
  read -r x y w h < <(geometry "$(visible 'Kivo Setup')")
  side=$(((w - 176 * 3 / 2) / 2))
  top=$((h - 90 * 3 / 2 - side))
  xdotool mousemove $((x + side + $1 * 3 / 2)) $((y + top + $2 * 3 / 2)) click 1
}

bars_shown() {
  local x y w h
  read -r x y w h < <(geometry "$(visible Kivo2)")
  [ "$y" -ge 0 ] || { h=$((h + y)); y=0; }
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -depth 8 -format %c histogram:info:- |
    grep -q '#7F7F7F'
}

wait_until "strip" strip_shown
# The refresh after the first: the rates have two collections to compare.
wait_until "second status line" status_lines_at_least 2
shoot Kivo2 windows-performance.png

choose_from_menu 2
wait_until "font dialog" has_focus Font
shoot Font windows-font.png
xdotool key Escape
wait_until "closed font dialog" gone Font

choose_from_menu 3
wait_until "Setup dialog" has_focus 'Kivo Setup'
shoot 'Kivo Setup' windows-setup.png
# Legacy, then OK.
click_in_setup 39 36
xdotool key Return
wait_until "closed Setup dialog" gone 'Kivo Setup'
wait_until "bar view" bars_shown

choose_from_menu 4
wait_until "About dialog" has_focus 'About Kivo'
shoot 'About Kivo' windows-about.png
xdotool key Return
wait_until "closed About dialog" gone 'About Kivo'

choose_from_menu 5
wait_until "end of kivo.exe" ended
kivo_pid=""

# The bar view as it starts: its font is fitted to the bars at the first size
# change, which a switch in Setup does not bring.
start_kivo
menu_x=0
wait_until "strip" strip_shown
wait_until "bar view" bars_shown
sleep 1
shoot Kivo2 windows-legacy.png
choose_from_menu 5
wait_until "end of kivo.exe" ended
kivo_pid=""

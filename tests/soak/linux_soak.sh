#!/usr/bin/env bash
# Soak of the Linux strip: the real program, refreshing as fast as its timer
# goes, switching views, toggling its frame and choosing fonts for as long as
# asked, while the X server's count of what it holds, its open files and its
# memory are read from outside. Nothing may grow: after a warm-up, every X
# resource count and the number of open files must stay exactly as they were,
# and the resident set may not grow by more than memory_slack_kb.
#
# Run it on a display of its own: tests/with_xvfb.sh tests/soak/linux_soak.sh
# Usage: linux_soak.sh [--full] [--refreshes N] [--toggles N] [--fonts N]
#                      [--probe x_resources] [kivo]
# Without options a short run (ctest); --full is the long one of `make soak`.
set -euo pipefail
exec </dev/null

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

# shellcheck source=tests/soak/soak_phases.sh
source "$here/soak_phases.sh"

refreshes=1500 toggles=20 fonts=20
probe=$root/build/linux/tests/soak/kivo_x_resources
exe=$root/build/linux/kivo
soak_argument() {
  case $1 in
    --probe) probe=$2 arguments_taken=2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) exe=$1 ;;
  esac
}
soak_options "$@"

# Warm-up to end: what glibc's allocator keeps back after a burst (a trimmed
# top chunk stays below 128 KiB by default) plus a page-rounding margin.
# Anything that leaks per refresh, toggle or font (at least one X or heap
# object each time) passes this within the reduced run already: 3000 leaked
# 128-byte blocks alone are 375 KiB.
memory_slack_kb=256
memory_field=rss_kb memory_unit_kb=1 memory_name=VmRSS
flat_counts=(windows pixmaps gcs fonts glyphsets pictures other fds)
table_columns=(win:windows:4 pix:pixmaps:4 gc:gcs:4 font:fonts:4 glyph:glyphsets:5 pict:pictures:4
  other:other:5 fds:fds:4 rss_kb:rss_kb:8 anon_kb:anon_kb:8 pss_kb:pss_kb:8 pixmap_b:pixmap_bytes:10)
soak_title="" soak_name="Linux soak"
growth_rule="the strip grew (X resources and open files must equal the warm-up's, VmRSS within $memory_slack_kb KiB)"

for tool in xdotool xwininfo import; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run this through tests/with_xvfb.sh"
[ -x "$exe" ] || fail "$exe is missing: build it first (cmake --build --preset linux)"
[ -x "$probe" ] || fail "$probe is missing: build the linux preset (it has KIVO_TESTS on)"

kivo_name=kivo close_wait_s=10
# shellcheck source=tests/e2e/process.sh
source "$root/tests/e2e/process.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-linux-soak.XXXXXX")
end_run_on_exit "$work"

# shellcheck source=tests/e2e/screen.sh
source "$root/tests/e2e/screen.sh"
# shellcheck source=tests/e2e/linux_ui.sh
source "$root/tests/e2e/linux_ui.sh"
kivo_output() { echo ": $(cat "$work/kivo.log")"; }

# A private store in a private home: refresh $1 ms, view $2.
start_kivo() {
  local config=$work/config-$1-$2
  mkdir -p "$config/kivo"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]\r\n'
    printf '"refresh"=dword:%08x\r\n' "$1"
    printf '"view"=dword:%08x\r\n' "$2"
  } >"$config/kivo/kivo.reg"
  XDG_CONFIG_HOME=$config HOME=$config "$exe" >"$work/kivo.log" 2>&1 &
  kivo_pid=$!
}

wait_until_started() {
  wait_for_strip 10
  exe_pid=$kivo_pid
}

end_calibration_run() {
  kill -TERM "$kivo_pid"
  expect_exit 0
}

# The X resources, open files, VmRSS, RssAnon and PSS in KiB.
read_counts() {
  local x fds rss anon pss
  x=$("$probe" Kivo) || fail "the X resource probe found no client for the strip"
  fds=$(find "/proc/$kivo_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$kivo_pid/status")
  anon=$(awk '/^RssAnon:/ {print $2}' "/proc/$kivo_pid/status")
  pss=$(awk '/^Pss:/ {print $2}' "/proc/$kivo_pid/smaps_rollup")
  echo "$x fds=$fds rss_kb=$rss anon_kb=$anon pss_kb=$pss"
}

# --- driving the strip -------------------------------------------------------------

# Right-clicks alternate between two places: two right-clicks within the
# double-click time at one place would make the second a double-click.
# Once toggled, the strip keeps a one-pixel border.
menu_x=600 border=0
menu() {
  menu_x=$((menu_x == 600 ? 620 : 600))
  choose_from_menu "$menu_x" 5 "$1" "$border"
}

strip_pixels() {
  local x y w h
  read -r x y w h < <(geometry "$strip")
  pixel_classes "$x" "$y" "$w" "$h"
}

# Waits until the strip shows view $1: 0 the green line, 1 the grey bars.
wait_for_view() {
  local black green grey other
  for _ in $(seq 100); do
    read -r black green grey other < <(strip_pixels)
    if [ "$1" = 1 ] && [ "$grey" -gt 1000 ]; then return 0; fi
    if [ "$1" = 0 ] && [ "$grey" -eq 0 ] && [ "$green" -gt 100 ]; then return 0; fi
    sleep 0.1
  done
  fail "the strip does not show view $1: $black black, $green green, $grey grey, $other other pixels"
}

# Setup: the "Performance View" (0) or "Legacy" (1) button, then OK.
switch_view() {
  menu_x=$((menu_x == 600 ? 620 : 600))
  open_setup "$menu_x" 5 "$border"
  if [ "$1" = 1 ]; then click_in_setup 50 62; else click_in_setup 40 37; fi
  xdotool key Return
  wait_for_window_gone "Kivo Setup"
  wait_for_view "$1"
}

# A double-click in the strip, then a wait until its frame is drawn or gone:
# the next pair must not start while this one is still being handled, as the
# client moves under the pointer when the frame changes. Pairs alternate
# between two places, so a click never pairs with the one before it.
frame_on=0 toggle_x=700
toggle_frame() {
  local grey
  toggle_x=$((toggle_x == 700 ? 720 : 700))
  xdotool mousemove "$toggle_x" 5 click --repeat 2 --delay 80 1
  frame_on=$((1 - frame_on)) border=1
  for _ in $(seq 100); do
    read -r _ _ grey _ < <(strip_pixels)
    if [ "$frame_on" = 1 ] && [ "$grey" -gt 0 ]; then return 0; fi
    if [ "$frame_on" = 0 ] && [ "$grey" -eq 0 ]; then return 0; fi
    sleep 0.05
  done
  fail "a double-click did not turn the frame $([ $frame_on = 1 ] && echo on || echo off)"
}

# Select Font, three sizes up or down in the chooser's size list (11 and 14
# pixels: 12 has the same advance and height as 11), Enter: the strip takes
# the size of its line in the new font. Up and down alternate, so every
# choice resizes the strip and an even number ends where it began.
font_step=Down
choose_font() {
  local before after
  before=$(geometry "$strip")
  menu $SELECT_FONT
  wait_for_window "Kivo Font" >/dev/null
  xdotool key Tab Tab Tab "$font_step" "$font_step" "$font_step" Return
  wait_for_window_gone "Kivo Font"
  font_step=$([ "$font_step" = Down ] && echo Up || echo Down)
  for _ in $(seq 100); do
    after=$(geometry "$strip")
    [ "$after" != "$before" ] && return 0
    sleep 0.05
  done
  fail "choosing a font left the strip at $before"
}

quit_kivo() {
  menu $QUIT
  expect_exit 0
}

# FLTK draws text through one XftDraw of its own, moved to whichever window
# or buffer it drew text into last; its picture holds on to that buffer (the
# chooser's double buffer, 607 KiB) until the next. Every other phase ended
# with Setup as that last one, so the fonts phase does too: a cancelled Setup.
after_fonts() {
  menu_x=$((menu_x == 600 ? 620 : 600))
  open_setup "$menu_x" 5 "$border"
  xdotool key Escape
  wait_for_window_gone "Kivo Setup"
}

# --- the run -----------------------------------------------------------------------

started=$SECONDS
soak_run

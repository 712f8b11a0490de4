#!/usr/bin/env bash
# Soak of the Windows exe under Wine: the real kivo.exe, refreshing as fast as
# its timer goes, switching views, toggling its frame and choosing fonts for
# as long as asked, while kivo_process_probe.exe reads its live GDI objects
# and memory from outside. Nothing may grow: after a warm-up, the GDI object
# count must stay exactly as it was and the private bytes may not grow by
# more than memory_slack_kb. (The open files of the Wine process say nothing
# about the exe: Wine opens and keeps files of its own.)
#
# Run it on a display of its own: tests/with_xvfb.sh tests/soak/windows_soak.sh i686
# Usage: windows_soak.sh <i686|x64> [--full] [--refreshes N] [--toggles N] [--fonts N]
# The exe, the pdh.dll test double and the probe come from build/windows-<preset>/.
# Without options a short run (ctest); --full is the long one of `make soak`.
set -euo pipefail
# Nothing here may wait for a keyboard: not wine, not a crash handler.
exec </dev/null

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

preset=${1:-}
case $preset in
  i686 | x64) shift ;;
  *) echo "usage: windows_soak.sh <i686|x64> [--full] [--refreshes N] [--toggles N] [--fonts N]" >&2; exit 2 ;;
esac
# shellcheck source=tests/soak/soak_phases.sh
source "$here/soak_phases.sh"

refreshes=1000 toggles=20 fonts=20
soak_argument() {
  echo "unknown option $1" >&2
  exit 2
}
soak_options "$@"
build=$root/build/windows-$preset
exe=$build/kivo.exe
double=$build/tests/e2e/pdh_double/pdh.dll
probe=$build/tests/soak/process_probe/kivo_process_probe.exe

# Warm-up to end. Wine's heap hands freed blocks back to its own free lists,
# not to the system, so private bytes only move when the heap takes a new
# block from the system: a few pages of slack for an allocation that lands
# past the last page touched, far below what one leaked object per refresh
# (2000 refreshes in the short run) would take.
memory_slack_kb=256
memory_field=private_bytes memory_unit_kb=1024 memory_name="private bytes"
flat_counts=(gdi_objects)
table_columns=(gdi_objects:gdi_objects:11 private_bytes:private_bytes:16 working_set:working_set:14)

for tool in wine wineserver xdotool xwininfo import flock; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run this through tests/with_xvfb.sh"
for file in "$exe" "$double" "$probe"; do
  [ -f "$file" ] || fail "$file is missing: build the preset first (cmake --preset windows-$preset && cmake --build --preset windows-$preset)"
done

# shellcheck source=tests/e2e/wine_prefix.sh
source "$root/tests/e2e/wine_prefix.sh"
# shellcheck source=tests/e2e/screen.sh
source "$root/tests/e2e/screen.sh"
# shellcheck source=tests/e2e/wine_ui.sh
source "$root/tests/e2e/wine_ui.sh"
kivo_name=kivo.exe close_wait_s=15
# shellcheck source=tests/e2e/process.sh
source "$root/tests/e2e/process.sh"

# Before any trap: the clean-up stops the server of $WINEPREFIX, the run's own.
wine_run_folder "$exe" wine-e2e/soak.XXXXXX "$root/build"
soak_title="kivo.exe ($arch) under Wine: " soak_name="kivo.exe ($arch) soak"
growth_rule="kivo.exe grew (GDI objects must equal the warm-up's, private bytes within $memory_slack_kb KiB)"
wine_end_run_on_exit ""

started=$SECONDS
wine_restore_prefix "$prefix_tar"
# One server for the whole run: registry writes are seen at once.
wineserver -p
key='HKCU\Software\Falvane\Kivo\2.0'
app=$work/app
mkdir -p "$app"
cp "$exe" "$app/kivo.exe"
cp "$double" "$app/pdh.dll"

# Refresh $1 ms, view $2.
start_kivo() {
  timeout 60 wine reg add "$key" /v refresh /t REG_DWORD /d "$1" /f >/dev/null
  timeout 60 wine reg add "$key" /v view /t REG_DWORD /d "$2" /f >/dev/null
  (cd "$app" && exec wine kivo.exe) >"$work/wine.log" 2>&1 &
  kivo_pid=$!
}

# The Linux process of the exe: for a 32-bit exe `wine` ends in an exec of
# it, so it is $kivo_pid, but in a 64-bit prefix $kivo_pid becomes
# "start.exe /exec", which runs the exe as a process of its own.
exe_pid=""
# shellcheck disable=SC2031 # wine_environment set WINEPREFIX here, not in a subshell
find_exe_pid() {
  local process command
  exe_pid=""
  for process in /proc/[0-9]*; do
    command=$(tr '\0' ' ' 2>/dev/null <"$process/cmdline") || continue
    [[ $command == *kivo.exe* && $command != *start.exe* ]] || continue
    if tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      exe_pid=${process#/proc/}
      return 0
    fi
  done
  fail "no Linux process runs kivo.exe in $WINEPREFIX"
}
wait_until_started() {
  wait_for_strip 30
  find_exe_pid
}
end_calibration_run() { quit_kivo; }

# Its live GDI objects, private bytes and working set.
read_counts() {
  local line
  line=$(wine "$probe" 2>&1 | tr -d '\r') || fail "the process probe failed: $line"
  [[ $line == gdi_objects=* ]] || fail "the process probe said: $line"
  echo "$line"
}

# --- driving the strip -------------------------------------------------------------

# Right-clicks alternate between two places 20 pixels apart: two right-clicks
# within the double-click time and square would make a double-click.
menu_x=600
next_menu() {
  local x y
  read -r x y _ _ < <(geometry "$strip")
  menu_x=$((menu_x == 600 ? 620 : 600))
  open_menu "$strip" "$menu_x" $((y + 8)) >/dev/null
}

quit_kivo() {
  next_menu
  choose_menu_item "$strip" $QUIT
  expect_exit 0
}

# Waits until the strip shows view $1: 0 the line of text, 1 the bars. Within
# its border, only the bars' ground has their grey; the text is green,
# antialiased once Wine's font cache is warm, so any shade of green.
wait_for_view() {
  local x y w h bar green
  for _ in $(seq 100); do
    read -r x y w h < <(geometry "$strip")
    bar=$(count_of '#7F7F7F' "$(exact_colours $((x + 2)) $((y + 2)) $((w - 4)) $((h - 4)))")
    read -r _ green _ < <(pixel_classes "$x" "$y" "$w" "$h")
    if [ "$1" = 1 ] && [ "$bar" -gt 0 ]; then return 0; fi
    if [ "$1" = 0 ] && [ "$bar" -eq 0 ] && [ "$green" -gt 100 ]; then return 0; fi
    sleep 0.1
  done
  fail "the strip does not show view $1: $bar pixels of the bars' grey, $green green in ${w}x$h"
}

# Picks the menu item $1 down, which opens the dialog named $2, and prints
# the dialog's X id once it has the keyboard focus. Now and then, with the
# strip refreshing every 10 ms on a busy machine, Wine maps the dialog and
# leaves the X focus on the strip (there is no window manager to move it);
# the dialog is then given the X focus, and after that a click on its
# caption, as a user would.
dialog_focused() { [ "$(xdotool getwindowfocus 2>/dev/null || true)" = "$1" ]; }
open_dialog() {
  local id="" x y
  press_menu_item "$1"
  for _ in $(seq 30); do
    id=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && dialog_focused "$id" && break
    sleep 0.1
  done
  if [ -n "$id" ] && ! dialog_focused "$id"; then
    echo "(the $2 dialog was not given the focus: giving it)" >&2
    xdotool windowfocus "$id" 2>/dev/null || true
    sleep 1
  fi
  if [ -n "$id" ] && ! dialog_focused "$id"; then
    read -r x y _ _ < <(geometry "$id")
    xdotool mousemove $((x + 60)) $((y + 8)) click 1
  fi
  wait_for_dialog "$2"
}

# Setup: "Performance View" (0) or "Legacy" (1), then OK.
switch_view() {
  local setup
  next_menu
  setup=$(open_dialog $SETUP 'Kivo Setup')
  if [ "$1" = 1 ]; then click_in_setup "$setup" 39 36; else click_in_setup "$setup" 50 21; fi
  xdotool key Return
  wait_for_dialog_closed 'Kivo Setup'
  wait_for_view "$1"
}

# A double-click in the strip, then a wait until the sizing frame is drawn or
# gone: its grey rings add or take away more grey pixels than a row of the
# strip has. Pairs alternate between two places, so a click never pairs with
# the one before it.
frame_on=0 toggle_x=700
grey_of_strip() {
  local x y w h
  read -r x y w h < <(geometry "$strip")
  pixel_classes "$x" "$y" "$w" "$h" | awk '{print $3}'
}
toggle_frame() {
  local before grey width y
  read -r _ y width _ < <(geometry "$strip")
  before=$(grey_of_strip)
  toggle_x=$((toggle_x == 700 ? 720 : 700))
  xdotool mousemove "$toggle_x" $((y + 8)) click --repeat 2 --delay 80 1
  frame_on=$((1 - frame_on))
  for _ in $(seq 100); do
    grey=$(grey_of_strip)
    if [ "$frame_on" = 1 ] && [ "$grey" -ge $((before + width)) ]; then return 0; fi
    if [ "$frame_on" = 0 ] && [ "$grey" -le $((before - width)) ]; then return 0; fi
    sleep 0.05
  done
  fail "a double-click did not turn the frame $([ $frame_on = 1 ] && echo on || echo off) ($before grey pixels before, $grey after)"
}

# Select Font, a size typed over the dialog's size field (Tab leads from the
# face to the style, then to the size, selecting its text), Enter: the strip
# takes the size of its line in the new font. The size alternates between 11
# and 8 points, so every choice resizes the strip and an even number ends
# where it began; each size must give the strip the same size every time.
font_size=11
declare -A strip_at_size=()
# The width follows the status line at the moment of the choice, and the line
# grows or shrinks by a character when one of its figures gains or loses a
# digit on a busy machine, so the width may differ by one character at
# 11 points; place and height may not, nor may the width drift further.
same_size_but_the_line() {
  local x1 y1 w1 h1 x2 y2 w2 h2
  read -r x1 y1 w1 h1 <<<"$1"
  read -r x2 y2 w2 h2 <<<"$2"
  [ "$x1 $y1 $h1" = "$x2 $y2 $h2" ] && [ $((w1 > w2 ? w1 - w2 : w2 - w1)) -le 12 ]
}
choose_font() {
  local before after
  before=$(geometry "$strip")
  next_menu
  open_dialog $SELECT_FONT Font >/dev/null
  xdotool key --delay 50 Tab Tab
  xdotool type --delay 50 "$font_size"
  xdotool key Return
  wait_for_dialog_closed Font
  for _ in $(seq 100); do
    after=$(geometry "$strip")
    [ "$after" != "$before" ] && break
    sleep 0.05
  done
  [ "$after" != "$before" ] || fail "choosing $font_size points left the strip at $before"
  # A moment for a second resize, should one follow.
  sleep 0.2
  after=$(geometry "$strip")
  if [ -z "${strip_at_size[$font_size]:-}" ]; then
    strip_at_size[$font_size]=$after
  elif ! same_size_but_the_line "${strip_at_size[$font_size]}" "$after"; then
    fail "at $font_size points the strip is at $after, earlier at ${strip_at_size[$font_size]}"
  fi
  font_size=$([ "$font_size" = 11 ] && echo 8 || echo 11)
}

after_fonts() { :; }

# --- the run -----------------------------------------------------------------------

soak_run

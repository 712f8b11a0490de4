#!/usr/bin/env bash
# End-to-end test of the Linux strip on the X display in $DISPLAY (ctest runs
# it through tests/with_xvfb.sh, with no window manager). It drives the strip
# with the mouse and keyboard as a user would and checks the window, its
# pixels, its X properties and the store file it leaves behind.
#
# Usage: linux_e2e.sh [kivo [high-dpi]]
#   kivo: default the linux build of this checkout.
#   high-dpi: the strip on a scaled desktop instead (a 2560x1600 screen, see
#   tests/CMakeLists.txt).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:-$root/build/linux/kivo}
scenario=${2:-everyday}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

for tool in xdotool xwininfo xprop import; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run this through tests/with_xvfb.sh"
[ -x "$exe" ] || fail "$exe is missing: build it first (cmake --build --preset linux)"

kivo_name=kivo close_wait_s=10
# shellcheck source=tests/e2e/process.sh
source "$here/process.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-linux-e2e.XXXXXX")
end_run_on_exit "$work" "${KIVO_E2E_KEEP:-}"

export XDG_CONFIG_HOME=$work/config
store=$XDG_CONFIG_HOME/kivo/kivo.reg

# --- helpers ----------------------------------------------------------------

# shellcheck source=tests/e2e/screen.sh
source "$here/screen.sh"

start_kivo() {
  "$exe" >"$work/kivo.log" 2>&1 &
  kivo_pid=$!
}

kivo_output() { echo ": $(cat "$work/kivo.log")"; }

# Waits until the strip's geometry is "$1" or fails with what it is.
expect_geometry() {
  local want=$1 what=$2 got i
  for i in $(seq 50); do
    got=$(geometry "$strip")
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "$what: the strip is at '$got' (x y width height), expected '$want'"
}

# Waits until the strip has drawn its status line: green text on black.
wait_for_text() {
  local x y w h black green grey other i
  read -r x y w h < <(geometry "$strip")
  for i in $(seq 50); do
    read -r black green grey other < <(pixel_classes "$x" "$y" "$w" "$h")
    [ "$green" -gt 100 ] && return 0
    sleep 0.1
  done
  fail "the strip shows no status line: $black black, $green green, $grey grey, $other other pixels"
}

# shellcheck source=tests/e2e/linux_ui.sh
source "$here/linux_ui.sh"

# The bytes of the stored font record, as "f5 ff ff ff ...".
stored_font_bytes() {
  tr -d '\r' <"$store" | awk '/^"font"=hex:/ {on = 1; sub(/^"font"=hex:/, "")}
    on {line = $0; more = sub(/\\$/, "", line); gsub(/[ ,]+/, " ", line); printf "%s ", line; if (!more) on = 0}'
}

# The value line for $1 in the store file, or "missing". The last one counts,
# as in a regedit import: a line the store could not read stays above it.
stored() {
  local line
  line=$(tr -d '\r' <"$store" | sed -n "s/^\"$1\"=//p" | tail -1)
  echo "${line:-missing}"
}

expect_dword() {
  local got
  got=$(stored "$1")
  [ "$got" = "$(printf 'dword:%08x' $(($2 & 0xffffffff)))" ] || fail "stored $1 is '$got', expected $2"
}

net_wm_state() { xprop -id "$strip" _NET_WM_STATE; }

# Whether the strip is above ($1 = above) or below every other top-level
# window: xwininfo lists the root's children from the top of the stack down.
expect_stacked() {
  local ids first last
  ids=$(xwininfo -root -children | awk '/^ +0x/ {print $1}')
  first=$(echo "$ids" | head -1)
  last=$(echo "$ids" | tail -1)
  local mine
  mine=$(printf '0x%x' "$strip")
  if [ "$1" = above ]; then
    [ "$first" = "$mine" ] || fail "the strip $mine is not at the top of the stack (top: $first)"
  else
    [ "$last" = "$mine" ] || fail "the strip $mine is not at the bottom of the stack (bottom: $last)"
  fi
}

# --- a scaled desktop -----------------------------------------------------------

# The desktop's scale as GNOME and KDE set it for X programs.
set_xft_dpi() { echo "Xft.dpi: $1" | xrdb -nocpp -merge; }

# "text-height menu-width menu-height setup-width setup-height": the rows of
# green in the strip's visible part (x y width height), and the menu and Setup
# opened from $5,$6 and closed again.
sizes_seen() {
  local w h sizes
  sizes=$(green_rows "$1" "$2" "$3" "$4")
  xdotool mousemove "$5" "$6" click 3
  read -r _ _ w h < <(geometry "$(wait_for_window "Kivo menu")")
  sizes+=" $w $h"
  xdotool key Escape
  wait_for_window_gone "Kivo menu"
  open_setup "$(($5 + 10))" "$6"
  read -r _ _ w h < <(geometry "$(wait_for_window "Kivo Setup")")
  xdotool key Escape
  wait_for_window_gone "Kivo Setup"
  echo "$sizes $w $h"
}

# Fails unless each size seen at 200 % ($2) is twice the one at 100 % ($1), give or take a tenth.
expect_doubled() {
  local i was now what=("the text's drawn height" "the menu's width" "the menu's height"
    "Setup's width" "Setup's height")
  read -r -a was <<<"$1"
  read -r -a now <<<"$2"
  for i in "${!what[@]}"; do
    if ((10 * now[i] < 18 * was[i] || 10 * now[i] > 22 * was[i])); then
      fail "${what[i]} is ${now[i]} at 200 %, not about twice the ${was[i]} of 100 %"
    fi
  done
}

quit_strip() {
  choose_from_menu "$1" "$2" $QUIT
  expect_exit 0
}

high_dpi() {
  command -v xrdb >/dev/null || fail "xrdb is not installed (run scripts/install-deps.sh as root)"
  local sizes100 sizes width100
  step "100 %: the sizes to compare with, and a store written at 100 %"
  start_kivo
  wait_for_strip 10
  expect_geometry "443 -2 450 14" "first start at 100 %"
  wait_for_text
  sizes100=$(sizes_seen 443 0 450 12 600 6)
  quit_strip 620 6
  width100=$(stored width)

  step "200 %: the store of 100 % in screen pixels twice as large"
  set_xft_dpi 192
  start_kivo
  wait_for_strip 10
  expect_geometry "886 -4 900 28" "the strip stored at 443,-2 450x14, at 200 %"
  wait_for_text
  sizes=$(sizes_seen 886 0 900 24 1200 6)
  expect_doubled "$sizes100" "$sizes"

  step "the desktop's scale changes while the strip runs"
  set_xft_dpi 144
  expect_geometry "665 -3 675 21" "the strip at 443,-2 450x14, after a change to 150 %"
  set_xft_dpi 96
  expect_geometry "443 -2 450 14" "after a change back to 100 %"
  set_xft_dpi 192
  expect_geometry "886 -4 900 28" "after a change to 200 % again"

  step "a drag of 40 screen pixels at 200 %"
  xdotool mousemove 1000 6 mousedown 1 mousemove 1010 6 mousemove 1030 6 mousemove 1040 6 mouseup 1
  expect_geometry "926 -4 900 28" "after a drag by 40 screen pixels"
  quit_strip 1300 6
  expect_dword x 463
  expect_dword y -2
  [ "$(stored width)" = "$width100" ] || fail "stored width is $(stored width) at 200 %, $width100 at 100 %"
  expect_dword height 14

  step "the store written at 200 %, back on a desktop at 100 %"
  set_xft_dpi 96
  start_kivo
  wait_for_strip 10
  expect_geometry "463 -2 $((16#${width100#dword:})) 14" "the strip stored at 200 %, at 100 %"
  quit_strip 700 6
}

if [ "$scenario" = high-dpi ]; then
  high_dpi
  echo PASS
  exit 0
fi

# --- first run: defaults, names, pixels, drag, always on top, quit ------------

step "first run with no store file"
start_kivo
wait_for_strip 10
expect_geometry "443 -2 450 14" "first start"
xprop -id "$strip" WM_CLASS | grep -q '= "Kivo", "Kivo"$' || fail "WM_CLASS is $(xprop -id "$strip" WM_CLASS)"
state=$(net_wm_state)
for atom in _NET_WM_STATE_ABOVE _NET_WM_STATE_SKIP_TASKBAR _NET_WM_STATE_SKIP_PAGER; do
  [[ $state == *"$atom"* ]] || fail "the strip's $state lacks $atom"
done
expect_stacked above
wait_for_text
read -r black green grey other < <(pixel_classes 443 -2 450 14)
[ "$((grey + other))" -eq 0 ] || fail "the strip has $grey grey and $other other pixels besides black and green"
[ "$black" -gt "$green" ] || fail "the strip is not mostly black ($black black, $green green)"

# Dragging by (40, 50) moves the window by exactly that, even past the screen edge.
xdotool mousemove 500 3 mousedown 1 mousemove 510 10 mousemove 525 30 mousemove 540 53 mouseup 1
expect_geometry "483 48 450 14" "after a drag by (40, 50)"

choose_from_menu 600 55 $ALWAYS_ON_TOP
for _ in $(seq 50); do [[ $(net_wm_state) == *_BELOW* ]] && break; sleep 0.1; done
[[ $(net_wm_state) == *_NET_WM_STATE_BELOW* ]] || fail "Always on Top off did not put the strip below: $(net_wm_state)"
expect_stacked below

# Away from the first right-click, or the two would make a double-click.
choose_from_menu 650 56 $QUIT
expect_exit 0
[ -f "$store" ] || fail "no store file at $store after Quit"
[ "$(head -n 1 "$store" | tr -d "\r")" = "Windows Registry Editor Version 5.00" ] || fail "the store file does not start as a registry export"
[ "$(stat -c %a "$store")" = 600 ] || fail "the store file has mode $(stat -c %a "$store"), expected 600"
names=$(tr -d '\r' <"$store" | sed -n 's/^"\([^"]*\)"=.*/\1/p' | sort | tr '\n' ' ')
[ "$names" = "font height top width x y " ] || fail "a first run stored [$names], expected x, y, width, height, top and font"
expect_dword x 483
expect_dword y 48
expect_dword width 450
expect_dword height 14
expect_dword top 1
[[ $(stored font) == hex:f5,ff,ff,ff,* ]] || fail "the font record was not stored: $(stored font)"

# --- second run: the saved place, frame toggle, closed by a signal ------------

step "second run: the saved place, then double-clicks and SIGTERM"
start_kivo
wait_for_strip 10
expect_geometry "483 48 450 14" "second start"
[[ $(net_wm_state) == *_NET_WM_STATE_BELOW* ]] || fail "the bottom z-order was not restored: $(net_wm_state)"

# Border and sizing frame: grey edges, the window keeps its outer rectangle.
xdotool mousemove 700 55 click --repeat 2 --delay 80 1
for _ in $(seq 50); do
  read -r black green grey other < <(pixel_classes 483 48 450 14)
  [ "$grey" -gt 0 ] && break
  sleep 0.1
done
[ "$grey" -gt 0 ] || fail "a double-click drew no frame"
expect_geometry "483 48 450 14" "after the first double-click"
# Then a border only: a one-pixel black ring, no grey.
sleep 0.6
xdotool mousemove 700 55 click --repeat 2 --delay 80 1
for _ in $(seq 50); do
  read -r black green grey other < <(pixel_classes 483 48 450 14)
  [ "$grey" -eq 0 ] && break
  sleep 0.1
done
[ "$grey" -eq 0 ] || fail "the second double-click left the sizing frame on"

kill -TERM "$kivo_pid"
expect_exit 0
caption=$(stored caption)
[ "$caption" = "dword:90800000" ] || fail "stored caption is '$caption', expected the popup with a border (dword:90800000)"

# --- a store file with damage and foreign lines -------------------------------

step "a damaged store file: defaults, and nothing of it is lost"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]\r\n'
  printf '"x"=dword:zz\r\n'
  printf '"y"=dword:00001388\r\n'
  printf '"someone else"="keeps this"\r\n'
  printf 'this line means nothing\r\n'
} >"$store"
start_kivo
wait_for_strip 10
# y 5000 is off every screen: the strip comes back to its default place.
expect_geometry "443 -2 450 14" "start with an unreadable x and an off-screen y"
choose_from_menu 600 5 $QUIT
expect_exit 0
grep -q '^"someone else"="keeps this"' "$store" || fail "a foreign value was dropped from the store"
grep -q '^this line means nothing' "$store" || fail "an unparsed line was dropped from the store"
grep -q '^"x"=dword:zz' "$store" || fail "the unreadable x line was dropped from the store"
expect_dword x 443
expect_dword y -2

# --- the dialogs --------------------------------------------------------------

step "Setup, About and Select Font"
start_kivo
wait_for_strip 10
expect_geometry "443 -2 450 14" "start for the dialogs"
wait_for_text

# Letters typed over the refresh period are refused: OK keeps 1000.
open_setup 600 5
click_in_setup 170 98 # the refresh field
xdotool key ctrl+a type abc
xdotool key Return
wait_for_window_gone "Kivo Setup"

# Escape cancels a change of view.
open_setup 610 6
click_in_setup 50 62 # the "Legacy" button
xdotool key Escape
wait_for_window_gone "Kivo Setup"
sleep 1.2  # a tick or more: the text view must still be drawn
read -r black green grey other < <(pixel_classes 443 -2 450 14)
if [ "$grey" -ne 0 ] || [ "$green" -le 100 ]; then
  fail "Escape in Setup still changed the view ($grey grey, $green green)"
fi

# Legacy and OK: the bars at the next tick, in the same window.
open_setup 600 5
click_in_setup 50 62 # the "Legacy" button
xdotool key Return
wait_for_window_gone "Kivo Setup"
for _ in $(seq 30); do
  read -r black green grey other < <(pixel_classes 443 -2 450 14)
  [ "$grey" -gt 1000 ] && break
  sleep 0.1
done
[ "$grey" -gt 1000 ] || fail "no bars after choosing Legacy ($grey grey pixels)"
expect_geometry "443 -2 450 14" "the bars need no resize"

choose_from_menu 610 6 $ABOUT
wait_for_window "About Kivo" >/dev/null
xdotool key Return
wait_for_window_gone "About Kivo"

# The font chooser: Escape changes nothing; Bold makes the strip the size of
# its line in the new font, where it stands.
choose_from_menu 600 5 $SELECT_FONT
wait_for_window "Kivo Font" >/dev/null
xdotool key Escape
wait_for_window_gone "Kivo Font"
expect_geometry "443 -2 450 14" "a cancelled font choice"
choose_from_menu 610 6 $SELECT_FONT
wait_for_window "Kivo Font" >/dev/null
xdotool key Tab Down Return
wait_for_window_gone "Kivo Font"
for _ in $(seq 30); do
  read -r x y w h < <(geometry "$strip")
  [ "$w $h" != "450 14" ] && break
  sleep 0.1
done
[ "$x $y" = "443 -2" ] || fail "choosing a font moved the strip to $x,$y"
[ "$w $h" != "450 14" ] || fail "choosing a font did not resize the strip"
if [ "$h" -lt 10 ] || [ "$h" -gt 20 ]; then
  fail "the strip is ${h} pixels high for an 11-pixel font"
fi

choose_from_menu 600 5 $QUIT
expect_exit 0
expect_dword view 1
[ "$(stored refresh)" = missing ] || fail "letters in the refresh field changed it to $(stored refresh)"
read -r -a font <<<"$(stored_font_bytes)"
[ "${#font[@]}" -eq 60 ] || fail "the stored font record has ${#font[@]} bytes"
[ "${font[16]} ${font[17]}" = "bc 02" ] || fail "the stored font is not bold: lfWeight bytes ${font[16]} ${font[17]}"
expect_dword width "$w"
expect_dword height "$h"

# --- no display ----------------------------------------------------------------

step "no display"
status=0
env -u DISPLAY "$exe" >"$work/nodisplay.log" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "kivo with no display exited 0"
grep -q "display" "$work/nodisplay.log" || fail "kivo with no display said nothing useful: $(cat "$work/nodisplay.log")"

echo "PASS"

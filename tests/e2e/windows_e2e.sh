#!/usr/bin/env bash
# End-to-end test of the Windows exe under Wine, on the X display in $DISPLAY
# (ctest runs it through tests/with_xvfb.sh). It drives the strip with the
# mouse and keyboard as a user would, through its menu and dialogs, and checks
# the window, its pixels, the text it draws and the registry values it leaves
# behind.
#
# Usage: windows_e2e.sh [kivo.exe [pdh.dll test double]]
# Defaults: the windows-i686 build of this checkout, and the double built
# beside it; the iphlpapi.dll double is taken from the pdh.dll double's folder.
# With KIVO_E2E_KEEP set, a failed run leaves its folder (prefix,
# traces) under build/wine-e2e/.
set -euo pipefail
# Nothing here may wait for a keyboard: not wine, not a crash handler.
exec </dev/null

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:-$root/build/windows-i686/kivo.exe}
double=${2:-$(dirname "$exe")/tests/e2e/pdh_double/pdh.dll}
table_double=$(dirname "$double")/iphlpapi.dll

# The trace of the exe run last. A failure shows Wine's own reports from it
# (an unimplemented function, an unhandled exception, errors), or else its
# last DLL loads.
kivo_log=""
fail() {
  echo "FAIL: $*" >&2
  if [ -n "$kivo_log" ] && [ -s "$kivo_log" ]; then
    echo "--- from $(basename "$(dirname "$kivo_log")")/wine.log:" >&2
    { grep -E '^wine: |:err:' "$kivo_log" || grep ':loaddll:' "$kivo_log"; } | tail -n 12 >&2 || true
  fi
  exit 1
}
step() { echo "--- $*"; }

for tool in wine wineserver xdotool xwininfo import flock; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run this through tests/with_xvfb.sh"
[ -f "$exe" ] || fail "$exe is missing: build it first (cmake --preset windows-i686 && cmake --build --preset windows-i686)"
[ -f "$double" ] || fail "the pdh.dll test double $double is missing: build the same preset as the exe"
[ -f "$table_double" ] || fail "the iphlpapi.dll test double $table_double is missing: build the same preset as the exe"

# shellcheck source=tests/e2e/wine_prefix.sh
source "$here/wine_prefix.sh"
# Before any trap: the clean-up stops the server of $WINEPREFIX, which must be
# the run's own and never one the caller's environment names.
wine_run_folder "$exe" wine-e2e/run.XXXXXX "$root/build"
wine_end_run_on_exit "${KIVO_E2E_KEEP:-}"

started=$SECONDS
wine_restore_prefix "$prefix_tar"
echo "prefix ready after $((SECONDS - started)) s"
# One server for the whole test: each start of the exe and each registry query
# then finds it running, and a query sees what the exe wrote without a flush.
wineserver -p

key='HKCU\Software\Falvane\Kivo\2.0'
# The 60-byte font record written on a first run: lfHeight -11, lfWeight 400,
# lfFaceName "Courier New", every other byte zero.
default_font="F5FFFFFF$(printf '0%.0s' {1..24})90010000$(printf '0%.0s' {1..16})436F7572696572204E6577$(printf '0%.0s' {1..42})"

# --- helpers ----------------------------------------------------------------

# shellcheck source=tests/e2e/screen.sh
source "$here/screen.sh"

# Starts the exe from folder $1 (which holds kivo.exe and, maybe, pdh.dll),
# tracing DLL loads, exceptions and text output into $1/wine.log.
start_kivo() {
  local dir=$1
  kivo_log=$dir/wine.log
  (cd "$dir" && WINEDEBUG=-all,err+all,+seh,+loaddll,+font exec wine kivo.exe) >"$kivo_log" 2>&1 &
  kivo_pid=$!
}

kivo_name=kivo.exe close_wait_s=15
# shellcheck source=tests/e2e/process.sh
source "$here/process.sh"

# shellcheck source=tests/e2e/wine_ui.sh
source "$here/wine_ui.sh"

# Loads the values under the key into reg_values (name -> "TYPE data").
declare -A reg_values
read_registry() {
  reg_values=()
  local name type data
  while read -r name type data; do
    case $type in
      REG_DWORD | REG_BINARY | REG_SZ) reg_values[$name]="$type $data" ;;
    esac
  done < <(timeout 60 wine reg query "$key" 2>/dev/null | tr -d '\r')
}

expect_value_names() {
  local got want
  got=$(printf '%s\n' "${!reg_values[@]}" | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "registry values after close: [$got], expected [$want]"
}

expect_dword() {
  local name=$1 want=$2 got
  got=${reg_values[$name]:-missing}
  [ "$got" = "$(printf 'REG_DWORD 0x%x' $((want & 0xffffffff)))" ] ||
    fail "registry value $name is '$got', expected $want"
}

# The last status line the exe drew, from Wine's trace of ExtTextOutW.
last_status_line() {
  grep 'NtGdiExtTextOutW.* Ram ' "$1" | sed -n 's/.*NtGdiExtTextOutW .*, L"\(.*\)", [0-9]*, .*/\1/p' | tail -1
}

status_lines_drawn() { grep -c 'NtGdiExtTextOutW.* Ram ' "$1" || true; }

# Waits until the exe has drawn at least $2 status lines (one per refresh).
wait_for_status_lines() {
  local log=$1 want=$2 i
  for i in $(seq 150); do
    [ "$(status_lines_drawn "$log")" -ge "$want" ] && return 0
    fail_if_ended "after drawing $(status_lines_drawn "$log") status lines"
    sleep 0.1
  done
  fail "kivo.exe drew fewer than $want status lines in 15 s"
}

# Which pdh.dll the exe loaded: "native" or "builtin".
pdh_kind() {
  sed -n 's/.*Loaded L".*\\pdh\.dll" at [0-9A-Fa-f]*: \([a-z]*\).*/\1/p' "$1" | head -1
}

# Empties the focused edit field and types $1 into it, key by key.
type_into_field() {
  xdotool key End shift+Home BackSpace
  xdotool type --delay 20 "$1"
}

# --- first run: defaults, drag, always on top, quit ----------------------------

step "first run with the test double pdh.dll"
app=$work/app
mkdir -p "$app"
cp "$exe" "$app/kivo.exe"
cp "$double" "$app/pdh.dll"
export KIVO_PDH_DOUBLE_LOG="Z:$app/pdh-calls.log"
start_kivo "$app"
wait_for_strip 30
read -r x y w h < <(geometry "$strip")
[ "$x $y $w $h" = "443 -2 450 14" ] || fail "first window at $x,$y size ${w}x$h, expected 443,-2 size 450x14"

wait_for_status_lines "$app/wine.log" 2
[ "$(pdh_kind "$app/wine.log")" = native ] || fail "the test double pdh.dll beside the exe was not loaded"
line=$(last_status_line "$app/wine.log")
case $line in
  *" r[   1.50] w[   0.25] cpu:  7%") ;;
  *) fail "status line '$line' does not end in the double's 'r[   1.50] w[   0.25] cpu:  7%'" ;;
esac
for path in '\Processor(_Total)\% Processor Time' \
  '\Network Interface(*)\Bytes Received/sec' '\Network Interface(*)\Bytes Sent/sec'; do
  grep -qxF "PdhAddEnglishCounterA path=$path" "$app/pdh-calls.log" || fail "no counter added for $path"
done
grep -q 'PdhGetFormattedCounterArrayA format=0x100 size=480 count=20' "$app/pdh-calls.log" ||
  fail "formatting not asked as PDH_FMT_LONG into 480 bytes and 20 records"

read -r black green grey other < <(pixel_classes 443 -2 450 14)
other=$((grey + other))
[ "$other" -eq 0 ] || fail "the strip has $other pixels that are neither black nor green"
[ "$green" -gt 100 ] || fail "the strip shows only $green green text pixels"
[ "$black" -gt "$green" ] || fail "the strip is not mostly black ($black black, $green green)"

# Fresh start: topmost, so the menu shows the check mark.
menu=$(open_menu "$strip" 600 5)
always_on_top_checked "$menu" || fail "Always on Top is not checked on a first start"
choose_menu_item "$strip" $ALWAYS_ON_TOP

xdotool mousemove 500 5 mousedown 1 mousemove 505 8 mouseup 1
for _ in $(seq 50); do
  read -r x y w h < <(geometry "$strip")
  [ "$x $y" = "448 1" ] && break
  sleep 0.1
done
[ "$x $y $w $h" = "448 1 450 14" ] || fail "after a drag by (5, 3) the window is at $x,$y size ${w}x$h, expected 448,1 size 450x14"

menu=$(open_menu "$strip" 600 6)
always_on_top_checked "$menu" && fail "Always on Top is still checked after choosing it"
choose_menu_item "$strip" $QUIT
expect_exit 0

read_registry
expect_value_names x y width height top font
expect_dword x 448
expect_dword y 1
expect_dword width 450
expect_dword height 14
expect_dword top 1
[ "${reg_values[font]}" = "REG_BINARY $default_font" ] ||
  fail "font value is '${reg_values[font]}', expected the default Courier New record"

# --- second run: where the first ended, frame toggle ---------------------------

step "second run: the saved place and z-order, then a double-click"
rm -f "$app/wine.log"
start_kivo "$app"
wait_for_strip 30
read -r x y w h < <(geometry "$strip")
[ "$x $y $w $h" = "448 1 450 14" ] || fail "second window at $x,$y size ${w}x$h, expected where the first ended: 448,1 size 450x14"
wait_for_status_lines "$app/wine.log" 1
read -r black green grey other < <(pixel_classes 448 1 450 14)
other=$((grey + other))
[ "$other" -eq 0 ] || fail "the borderless strip has $other pixels that are neither black nor green"

menu=$(open_menu "$strip" 600 6)
always_on_top_checked "$menu" && fail "Always on Top is checked although the first run ended at the bottom"
xdotool key Escape
wait_for_menu_closed "$strip"

xdotool mousemove 700 6 click --repeat 2 --delay 80 1
for _ in $(seq 50); do
  read -r x y w h < <(geometry "$strip")
  read -r black green grey other < <(pixel_classes "$x" "$y" "$w" "$h")
  other=$((grey + other))
  [ "$other" -gt 0 ] && break
  sleep 0.1
done
[ "$other" -gt 0 ] || fail "a double-click drew no frame around the strip"
[ "$x $y" = "448 1" ] || fail "the double-click moved the window to $x,$y"

menu=$(open_menu "$strip" 600 12)
choose_menu_item "$strip" $QUIT
expect_exit 0

read_registry
expect_value_names x y width height top caption font
expect_dword x "$x"
expect_dword y "$y"
expect_dword width "$w"
expect_dword height "$h"
expect_dword top 1
caption=${reg_values[caption]#REG_DWORD }
# The frame toggle keeps the whole style word: popup, visible, thin border and sizing frame.
for bit in 0x80000000 0x10000000 0x00800000 0x00040000; do
  [ $((caption & bit)) -ne 0 ] || fail "saved caption $caption lacks style bit $bit"
done

# --- Wine's own pdh.dll -----------------------------------------------------

step "a run with Wine's built-in pdh.dll"
builtin=$work/builtin
mkdir -p "$builtin"
cp "$exe" "$builtin/kivo.exe"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=b" start_kivo "$builtin"
wait_for_strip 30
# Every refresh formats the counters, which is where Wine's pdh.dll aborts.
wait_for_status_lines "$builtin/wine.log" 3
[ "$(pdh_kind "$builtin/wine.log")" = builtin ] || fail "Wine's built-in pdh.dll was not the one loaded"
line=$(last_status_line "$builtin/wine.log")
case $line in
  *" r[  -0.00] w[  -0.00] cpu: -1%") ;;
  *) fail "status line '$line' with Wine's pdh.dll does not end in 'r[  -0.00] w[  -0.00] cpu: -1%'" ;;
esac
read -r x y w h < <(geometry "$strip")
menu=$(open_menu "$strip" $((x + 150)) $((y + 6)))
choose_menu_item "$strip" $QUIT
expect_exit 0

# --- Windows machines other than one English desktop ------------------------

# Runs the exe beside both stand-in DLLs as the machine the words $1 name
# (tests/e2e/pdh_double/machines.h) until it has drawn three status lines,
# checks that the line ends in $2, and quits it. The calls the DLLs saw stay in
# $machine/calls.log.
run_as_machine() {
  local words=$1 want=$2 line
  machine=$work/machine-${words// /-}
  mkdir -p "$machine"
  cp "$exe" "$machine/kivo.exe"
  cp "$double" "$machine/pdh.dll"
  cp "$table_double" "$machine/iphlpapi.dll"
  KIVO_DOUBLE_MACHINE=$words KIVO_PDH_DOUBLE_LOG="Z:$machine/calls.log" \
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh,iphlpapi=n" start_kivo "$machine"
  wait_for_strip 30
  wait_for_status_lines "$machine/wine.log" 3
  line=$(last_status_line "$machine/wine.log")
  case $line in
    *" $want") ;;
    *) fail "as the $words machine the status line is '$line', expected it to end in '$want'" ;;
  esac
  read -r x y w h < <(geometry "$strip")
  open_menu "$strip" $((x + 150)) $((y + 6)) >/dev/null
  choose_menu_item "$strip" $QUIT
  expect_exit 0
}

step "a German Windows: its PdhAddCounterA takes only the German paths"
run_as_machine german 'r[   1.50] w[   0.25] cpu:  7%'
for path in '\Processor(_Total)\% Processor Time' \
  '\Network Interface(*)\Bytes Received/sec' '\Network Interface(*)\Bytes Sent/sec'; do
  grep -qxF "PdhAddEnglishCounterA path=$path" "$machine/calls.log" || fail "no counter added by its English path $path"
done

# Hardware adapters: 4.00 KB/s received, 1.00 sent. Counting the virtual
# adapters too would give 8.00 and 2.25.
laptop_rates='r[   4.00] w[   1.00] cpu:  7%'
step "a laptop with ten adapters, their names past 480 bytes, WSL, Docker and a VPN moving traffic"
run_as_machine laptop "$laptop_rates"
for measure in received sent; do
  asked=$(grep -c "PdhGetFormattedCounterArrayA .* of $measure\$" "$machine/calls.log" || true)
  small=$(grep -c "PdhGetFormattedCounterArrayA format=0x100 size=480 count=20 of $measure\$" "$machine/calls.log" || true)
  # The area grows once, on the first answer that does not fit, and keeps its size.
  [ "$small" -eq 1 ] || fail "the $measure counter was formatted into 480 bytes $small times in $asked calls, expected once"
done
tables=$(grep -c '^GetIfTable2$' "$machine/calls.log" || true)
# Once for each network counter, not on every refresh.
[ "$tables" -eq 2 ] || fail "the interface table was read $tables times, expected twice (once per network counter)"

step "the same laptop on a German Windows"
run_as_machine 'german laptop' "$laptop_rates"

# --- the menu's dialogs: Select Font, Setup, About -----------------------------

step "a run through the dialogs: a font chosen, the bar view, Setup cancelled, About"
# From the defaults again: the strip borderless, 450 x 14, in the text view.
timeout 60 wine reg delete "$key" /f >/dev/null 2>&1 || fail "could not delete $key before the run through the dialogs"
rm -f "$app/wine.log"
start_kivo "$app"
wait_for_strip 30
wait_for_status_lines "$app/wine.log" 1
read -r x y w h < <(geometry "$strip")
[ "$x $y $w $h" = "443 -2 450 14" ] || fail "the window at $x,$y size ${w}x$h, expected the defaults 443,-2 size 450x14"

# Two right-clicks within Wine's double-click time (500 ms) and square (4
# pixels) make the second a WM_RBUTTONDBLCLK, which opens no menu; with the
# dialogs closing as fast as they do here, each menu opens 8 pixels further on.
menu_x=560
open_menu_anew() {
  menu_x=$((menu_x + 8))
  open_menu "$strip" "$menu_x" 5 >/dev/null
}

# Wine's font dialog opens with the face name's field focused; Tab leads to
# the style list, then to the size list, where arrows move the selection.
# Cancelled: Italic, 11 points. Wine writes even a cancelled choice into the
# record it is given, so had it reached the settings, the next dialog would
# open on Italic 11, and the same keys would then choose Bold Italic, 20.
open_menu_anew
open_dialog_from_menu $SELECT_FONT Font >/dev/null
xdotool key Tab Down Tab Down Down Down Escape
wait_for_dialog_closed Font
read -r x y w h < <(geometry "$strip")
[ "$x $y $w $h" = "443 -2 450 14" ] || fail "a cancelled font dialog left the strip at $x,$y size ${w}x$h"

# Chosen: Bold (Regular, Italic, Bold), 14 points (8, 9, 10, 11, 12, 14).
open_menu_anew
open_dialog_from_menu $SELECT_FONT Font >/dev/null
xdotool key Tab Down Down Tab Down Down Down Down Down
chosen_at=$(wc -l <"$app/wine.log")
xdotool key Return
wait_for_dialog_closed Font
for _ in $(seq 100); do
  read -r x y w h < <(geometry "$strip")
  [ "$w $h" != "450 14" ] && break
  sleep 0.1
done
[ "$x $y" = "443 -2" ] || fail "choosing a font moved the strip to $x,$y"
if [ "$w" -le 450 ] || [ "$h" -le 14 ]; then
  fail "after choosing Bold 14 points the strip is ${w}x$h, expected it wider and taller than 450x14"
fi
# Every measure of the status line since the choice, as Wine traced it: the
# strip's new size must be one of them, widened by 5.
extents=$(tail -n +"$((chosen_at + 1))" "$app/wine.log" |
  sed -n 's/.*NtGdiGetTextExtentExW (.*, L".* Ram .*", 0) returning \([0-9]*x[0-9]*\)$/\1/p' | sort -u)
grep -qx "$((w - 5))x$h" <<<"$extents" ||
  fail "the strip is ${w}x$h, not the status line's extent in the new font plus 5 wide (extents measured: $(tr '\n' ' ' <<<"$extents"))"
# The taller font reaches rows the old one never drew in.
for _ in $(seq 100); do
  read -r _ green _ < <(pixel_classes "$x" $((y + 14)) "$w" $((h - 14)))
  [ "$green" -gt 0 ] && break
  sleep 0.1
done
[ "$green" -gt 0 ] || fail "the strip draws no text below row 14 in the new ${h}-pixel font"

# Setup: Legacy, and a refresh period typed with letters among the digits.
# Only the digits may land in the field: "500" is saved, where "k5q0w0"
# would read as 0.
open_menu_anew
setup=$(open_dialog_from_menu $SETUP 'Kivo Setup')
click_in_setup "$setup" 39 36
click_in_setup "$setup" 96 56
type_into_field k5q0w0
xdotool key Return
wait_for_dialog_closed 'Kivo Setup'
# The next tick draws the two bars in place of the text: their grey ground
# and a fill in one of the three colours of the percentage bands.
for _ in $(seq 100); do
  colours=$(exact_colours "$x" "$y" "$w" "$h")
  grey=$(count_of '#7F7F7F' "$colours")
  fill=$(($(count_of '#008000' "$colours") + $(count_of '#0000FF' "$colours") + $(count_of '#FF0000' "$colours")))
  [ "$grey" -gt 0 ] && [ "$fill" -gt 0 ] && break
  sleep 0.1
done
if [ "$grey" -eq 0 ] || [ "$fill" -eq 0 ]; then
  fail "no bars 10 s after choosing Legacy: $grey grey pixels, $fill in a bar colour"
fi
[ "$(count_of '#00FF00' "$colours")" -eq 0 ] || fail "the bar view still shows the text view's green"
read -r x2 y2 w2 h2 < <(geometry "$strip")
[ "$x2 $y2 $w2 $h2" = "$x $y $w $h" ] || fail "choosing Legacy changed the strip from $x,$y size ${w}x$h to $x2,$y2 size ${w2}x$h2"
bars_at=$(wc -l <"$app/wine.log")

# Setup again, everything changed and then cancelled with Escape:
# Performance View, Free, a period of 25.
open_menu_anew
setup=$(open_dialog_from_menu $SETUP 'Kivo Setup')
click_in_setup "$setup" 50 21
click_in_setup "$setup" 134 35
click_in_setup "$setup" 96 56
type_into_field x25y
xdotool key Escape
wait_for_dialog_closed 'Kivo Setup'
read -r x2 y2 w2 h2 < <(geometry "$strip")
[ "$x2 $y2 $w2 $h2" = "$x $y $w $h" ] || fail "a cancelled Setup changed the strip to $x2,$y2 size ${w2}x$h2"

open_menu_anew
open_dialog_from_menu $ABOUT 'About Kivo' >/dev/null
xdotool key Return
wait_for_dialog_closed 'About Kivo'

colours=$(exact_colours "$x" "$y" "$w" "$h")
[ "$(count_of '#7F7F7F' "$colours")" -gt 0 ] || fail "the bars are gone after the cancelled Setup and About"
drawn=$(tail -n +"$((bars_at + 1))" "$app/wine.log" | grep -c 'NtGdiExtTextOutW.* Ram ' || true)
[ "$drawn" -eq 0 ] || fail "the status line was drawn $drawn times after a cancelled switch to the text view"

open_menu_anew
choose_menu_item "$strip" $QUIT
expect_exit 0

read_registry
expect_value_names x y width height top refresh view font
expect_dword x 443
expect_dword y -2
expect_dword width "$w"
expect_dword height "$h"
expect_dword top -1
expect_dword refresh 500
expect_dword view 1
font=${reg_values[font]#REG_BINARY }
# LOGFONTA: lfHeight at byte 0, lfWeight at 16, lfItalic at 20, the face from 28.
[ "${#font}" -eq 120 ] || fail "the saved font record is $((${#font} / 2)) bytes, expected 60"
[ "${font:32:8}" = BC020000 ] || fail "the saved font's weight is ${font:32:8}, expected 700 (BC020000) for Bold"
[ "${font:40:2}" = 00 ] || fail "the saved font is italic: the cancelled choice reached the record"
[ "${font:0:8}" = EDFFFFFF ] || fail "the saved font's height is ${font:0:8}, expected -19 (EDFFFFFF) for 14 points"
[ "${font:56:22}" = 436F7572696572204E6577 ] || fail "the saved face is not Courier New: ${font:56}"

echo "PASS: windows e2e ($arch) in $((SECONDS - started)) s"

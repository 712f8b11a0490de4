#!/usr/bin/env bash
# Soak of the Linux strip: the real program, refreshing as fast as its timer
# goes, switching views, toggling its frame and choosing fonts for as long as
# asked, while the X server's count of what it holds, its open files and its
# memory are read from outside. Nothing may grow: after a warm-up, every X
# resource count and the number of open files must stay exactly as they were,
# and the resident set may not grow by more than RSS_SLACK_KB.
#
# Run it on a display of its own: tests/with_xvfb.sh tests/soak/linux_soak.sh
# Usage: linux_soak.sh [--full] [--refreshes N] [--toggles N] [--fonts N]
#                      [--probe x_resources] [kivo]
# Without options a short run (ctest); --full is the long one of `make soak`.
set -euo pipefail
exec </dev/null

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

refreshes=1500 toggles=20 fonts=20
probe=$root/build/linux/tests/soak/kivo_x_resources
exe=$root/build/linux/kivo
while [ $# -gt 0 ]; do
  case $1 in
    --full) refreshes=100000 toggles=1000 fonts=1000 ;;
    --refreshes) refreshes=$2; shift ;;
    --toggles) toggles=$2; shift ;;
    --fonts) fonts=$2; shift ;;
    --probe) probe=$2; shift ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) exe=$1 ;;
  esac
  shift
done

# Warm-up to end: what glibc's allocator keeps back after a burst (a trimmed
# top chunk stays below 128 KiB by default) plus a page-rounding margin.
# Anything that leaks per refresh, toggle or font (at least one X or heap
# object each time) passes this within the reduced run already: 3000 leaked
# 128-byte blocks alone are 375 KiB.
RSS_SLACK_KB=256

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

for tool in xdotool xwininfo import; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh as root)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run this through tests/with_xvfb.sh"
[ -x "$exe" ] || fail "$exe is missing: build it first (cmake --build --preset linux)"
[ -x "$probe" ] || fail "$probe is missing: build the linux preset (it has KIVO_TESTS on)"

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-linux-soak.XXXXXX")
kivo_pid=""
cleanup() {
  local status=$?
  if [ -n "$kivo_pid" ] && kill -0 "$kivo_pid" 2>/dev/null; then kill -KILL "$kivo_pid" 2>/dev/null || true; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# shellcheck source=tests/e2e/screen.sh
source "$root/tests/e2e/screen.sh"
# shellcheck source=tests/e2e/linux_ui.sh
source "$root/tests/e2e/linux_ui.sh"

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

fail_if_ended() {
  local status=0
  kill -0 "$kivo_pid" 2>/dev/null && return 0
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  fail "kivo ended with exit code $status $1: $(cat "$work/kivo.log")"
}

expect_exit_0() {
  local status=0
  for _ in $(seq 100); do
    kill -0 "$kivo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$kivo_pid" 2>/dev/null && fail "kivo still running 10 s after it was asked to close"
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  [ "$status" -eq 0 ] || fail "kivo exited with $status, expected 0: $(cat "$work/kivo.log")"
}

read_syscalls() { awk '/^syscr:/ {print $2}' "/proc/$kivo_pid/io"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The program has no counter of its refreshes, and gets none for this: each
# refresh reads the same /proc and /sys files with the same number of read
# calls, and an idle strip reads nothing else, so the read calls the kernel
# counts for the process (/proc/PID/io syscr) divided by the reads of one
# refresh give the refreshes. The reads of one refresh are measured per view
# in a run at a period slow enough for every tick to come on time (50 ms;
# the timer keeps its cadence), as reads over elapsed periods. The timer
# never fires faster than every 10 ms, as on Windows, so the soak's 1 ms
# period gives at most 100 refreshes a second.
CALIBRATION_PERIOD_MS=50
# Sets reads_per_refresh for view $1, in hundredths of a read call.
calibrate() {
  local view=$1 before after started elapsed
  start_kivo $CALIBRATION_PERIOD_MS "$view"
  wait_for_strip 10
  sleep 1
  before=$(read_syscalls) started=$(now_ms)
  sleep 3
  after=$(read_syscalls) elapsed=$(($(now_ms) - started))
  kill -TERM "$kivo_pid"
  expect_exit_0
  reads_per_refresh=$(((after - before) * 100 * CALIBRATION_PERIOD_MS / elapsed))
  # A refresh makes a whole number of read calls; the window's edges cut a
  # tick more or less into the measure, which rounding takes out.
  [ "$reads_per_refresh" -lt 50 ] || reads_per_refresh=$(((reads_per_refresh + 50) / 100 * 100))
}

# --- what is measured ------------------------------------------------------------

declare -a rows=()
warm=""
# One row: label, refreshes so far, the X resources, open files, VmRSS,
# RssAnon and PSS in KiB.
measure() {
  local label=$1 x fds rss anon pss
  x=$("$probe" Kivo) || fail "the X resource probe found no client for the strip"
  fds=$(find "/proc/$kivo_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$kivo_pid/status")
  anon=$(awk '/^RssAnon:/ {print $2}' "/proc/$kivo_pid/status")
  pss=$(awk '/^Pss:/ {print $2}' "/proc/$kivo_pid/smaps_rollup")
  local row
  row="$label refreshes=$refreshes_done $x fds=$fds rss_kb=$rss anon_kb=$anon pss_kb=$pss"
  rows+=("$row")
  [ "$label" = warm-up ] && warm=$row
  print_row "$row"
}

field() { sed -n "s/.* $2=\([0-9]*\).*/\1/p" <<<"$1"; }

table_header() {
  printf '%-10s %9s %4s %4s %4s %4s %5s %4s %5s %4s %8s %8s %8s %10s\n' phase refreshes win pix gc font glyph pict other fds rss_kb anon_kb pss_kb pixmap_b
}
print_row() {
  local r=$1
  printf '%-10s %9s %4s %4s %4s %4s %5s %4s %5s %4s %8s %8s %8s %10s\n' "${r%% *}" \
    "$(field "$r" refreshes)" "$(field "$r" windows)" "$(field "$r" pixmaps)" "$(field "$r" gcs)" \
    "$(field "$r" fonts)" "$(field "$r" glyphsets)" "$(field "$r" pictures)" "$(field "$r" other)" \
    "$(field "$r" fds)" "$(field "$r" rss_kb)" "$(field "$r" anon_kb)" "$(field "$r" pss_kb)" \
    "$(field "$r" pixmap_bytes)"
}

growth=()
# Compares the last row with the warm-up one.
check_flat() {
  local r=${rows[-1]} name grown
  for name in windows pixmaps gcs fonts glyphsets pictures other fds; do
    if [ "$(field "$r" $name)" != "$(field "$warm" $name)" ]; then
      growth+=("${r%% *}: $name $(field "$warm" $name) -> $(field "$r" $name)")
    fi
  done
  grown=$(($(field "$r" rss_kb) - $(field "$warm" rss_kb)))
  if [ "$grown" -gt $RSS_SLACK_KB ]; then
    growth+=("${r%% *}: VmRSS grew by $grown KiB (slack $RSS_SLACK_KB KiB)")
  fi
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

# Lets the strip refresh until the read calls since this call make $1
# refreshes at $2 hundredths of a read per refresh; adds them to
# refreshes_done. A tick takes at least 10 ms, so twice that plus a minute
# is more than a working strip needs.
refreshes_done=0
run_refreshes() {
  local want=$1 per=$2 start now done=0 limit
  start=$(read_syscalls)
  limit=$((SECONDS + want / 50 + 60))
  while [ "$done" -lt "$want" ]; do
    fail_if_ended "while refreshing"
    [ "$SECONDS" -lt "$limit" ] || fail "only $done of $want refreshes within $((want / 50 + 60)) s"
    sleep 0.5
    now=$(read_syscalls)
    done=$(((now - start) * 100 / per))
  done
  refreshes_done=$((refreshes_done + done))
}

# --- the run -----------------------------------------------------------------------

started=$SECONDS
step "reads per refresh, at a $CALIBRATION_PERIOD_MS ms period"
calibrate 0
per_text=$reads_per_refresh
calibrate 1
per_bars=$reads_per_refresh
if [ "$per_text" -le 0 ] || [ "$per_bars" -le 0 ]; then
  fail "no reads per refresh measured ($per_text, $per_bars)"
fi
echo "text view: $((per_text / 100)).$(printf %02d $((per_text % 100))) reads per refresh;" \
  "bar view: $((per_bars / 100)).$(printf %02d $((per_bars % 100)))"

step "soak: refresh 1 ms; $refreshes refreshes per view, $toggles frame toggles, $fonts font choices"
start_kivo 1 0
wait_for_strip 10
wait_for_view 0
table_header
measure start

# Everything once before the baseline: the first dialog, menu, font and view
# of a run load code and fill caches that stay for the life of the process.
run_refreshes 200 "$per_text"
toggle_frame
toggle_frame
choose_font
choose_font
switch_view 1
switch_view 0
run_refreshes 200 "$per_text"
measure warm-up

run_refreshes "$refreshes" "$per_text"
measure text
check_flat

switch_view 1
run_refreshes "$refreshes" "$per_bars"
measure bars
check_flat

switch_view 0
for _ in $(seq "$toggles"); do toggle_frame; done
measure toggles
check_flat

for _ in $(seq "$fonts"); do choose_font; done
# FLTK draws text through one XftDraw of its own, moved to whichever window
# or buffer it drew text into last; its picture holds on to that buffer (the
# chooser's double buffer, 607 KiB) until the next. Every other phase ended
# with Setup as that last one, so this one does too: a cancelled Setup.
menu_x=$((menu_x == 600 ? 620 : 600))
open_setup "$menu_x" 5 "$border"
xdotool key Escape
wait_for_window_gone "Kivo Setup"
measure fonts
check_flat

menu $QUIT
expect_exit_0

echo
echo "Linux soak, $((SECONDS - started)) s: about $refreshes_done refreshes, $toggles frame toggles, $fonts font choices"
table_header
for row in "${rows[@]}"; do print_row "$row"; done
if [ ${#growth[@]} -gt 0 ]; then
  printf 'grew: %s\n' "${growth[@]}" >&2
  fail "the strip grew (X resources and open files must equal the warm-up's, VmRSS within $RSS_SLACK_KB KiB)"
fi
echo "PASS: flat"

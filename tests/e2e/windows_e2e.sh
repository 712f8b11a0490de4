#!/usr/bin/env bash
# End-to-end test of the Windows exe under Wine, on the X display in $DISPLAY
# (ctest runs it through tests/with_xvfb.sh). It drives the strip with the
# mouse and keyboard as a user would and checks the window, its pixels, the
# text it draws and the registry values it leaves behind.
#
# Usage: windows_e2e.sh [kivo.exe [pdh.dll test double]]
# Defaults: the windows-i686 build of this checkout, and the double built
# beside it. With KIVO_E2E_KEEP set, a failed run leaves its folder (prefix,
# traces) under build/wine-e2e/.
set -euo pipefail
# Nothing here may wait for a keyboard: not wine, not a crash handler.
exec </dev/null

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:-$root/build/windows-i686/kivo.exe}
double=${2:-$(dirname "$exe")/tests/e2e/pdh_double/pdh.dll}

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

# shellcheck source=tests/e2e/wine_prefix.sh
source "$here/wine_prefix.sh"
arch=$(wine_arch_of "$exe")
suffix=""
[ "$arch" = win32 ] || suffix="-$arch"
prefix_cache=$root/build/wine-prefix$suffix.tar

# Beside the prefix tar rather than in /tmp: a win64 prefix is over 1 GB,
# too much for a /tmp in memory.
mkdir -p "$root/build/wine-e2e"
work=$(mktemp -d "$root/build/wine-e2e/run.XXXXXX")
# Before any trap: the clean-up stops the server of $WINEPREFIX, which must be
# the run's own and never one the caller's environment names.
wine_environment "$arch" "$work"
kivo_pid=""
cleanup() {
  local status=$?
  if [ -n "$kivo_pid" ] && kill -0 "$kivo_pid" 2>/dev/null; then
    kill "$kivo_pid" 2>/dev/null || true
  fi
  wine_stop_server
  if [ $status -ne 0 ] && [ -n "${KIVO_E2E_KEEP:-}" ]; then
    echo "kept $work (prefix and traces) for a closer look"
  else
    rm -rf "$work"
    rmdir "$root/build/wine-e2e" 2>/dev/null || true
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$SECONDS
wine_restore_prefix "$prefix_cache"
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

# Fails with $1 and the exit code when the exe has ended.
fail_if_ended() {
  local status=0
  kill -0 "$kivo_pid" 2>/dev/null && return 0
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  fail "kivo.exe ended with exit code $status $1"
}

# Sets strip to the X id of the strip once it is mapped. Not for $(...): the
# exit code of an exe that ended can only be had in this shell.
wait_for_strip() {
  local i
  for i in $(seq 300); do
    strip=$(xdotool search --onlyvisible --name '^Kivo2$' 2>/dev/null | head -1 || true)
    [ -n "$strip" ] && return 0
    fail_if_ended "before its window appeared"
    sleep 0.1
  done
  fail "no visible window named Kivo2 within 30 s"
}



# The X id of the open context menu, kivo.exe's other visible window, once
# its light background is drawn: until then its pixels may be black, which
# would read as a check mark.
wait_for_menu() {
  local strip=$1 id i mx my mw mh black grey other
  for i in $(seq 100); do
    for id in $(xdotool search --onlyvisible --class '^kivo\.exe$' 2>/dev/null || true); do
      [ "$id" != "$strip" ] || continue
      # The menu may close between the search and these looks.
      read -r mx my mw mh < <(geometry "$id" 2>/dev/null) || continue
      [ -n "$mh" ] || continue
      read -r black _ grey other < <(pixel_classes "$mx" "$my" "$mw" "$mh" 2>/dev/null) || continue
      if [ $((grey + other)) -gt "$black" ]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  fail "the context menu did not open within 10 s of a right-click"
}

wait_for_menu_closed() {
  local strip=$1 id i open
  for i in $(seq 100); do
    open=""
    for id in $(xdotool search --onlyvisible --class '^kivo\.exe$' 2>/dev/null || true); do
      [ "$id" = "$strip" ] || open=$id
    done
    [ -z "$open" ] && return 0
    sleep 0.1
  done
  fail "the context menu was still open 10 s after choosing an item"
}

# Right-clicks the strip at screen position $2,$3 and prints the menu's id.
open_menu() {
  xdotool mousemove "$2" "$3" click 3
  wait_for_menu "$1"
}

# Whether the menu's first item, "Always on Top", carries its check mark: the
# mark is the only black in the menu's left margin.
always_on_top_checked() {
  local mx my black
  read -r mx my _ _ < <(geometry "$1")
  read -r black _ < <(pixel_classes "$mx" "$my" 16 22)
  [ "$black" -gt 0 ]
}

# Picks the menu item that is $2 items down (separators are skipped), by
# keyboard, and waits for the menu to close.
choose_menu_item() {
  local strip=$1 downs=$2 keys=() i
  for ((i = 0; i < downs; i++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  wait_for_menu_closed "$strip"
}
ALWAYS_ON_TOP=1
QUIT=5

# Waits for the exe to end and checks its exit code.
expect_exit() {
  local want=$1 i status
  for i in $(seq 150); do
    kill -0 "$kivo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$kivo_pid" 2>/dev/null && fail "kivo.exe still running 15 s after Quit"
  status=0
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  [ "$status" -eq "$want" ] || fail "kivo.exe exited with $status, expected $want"
}

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

# --- first run: defaults, drag, always on top, quit ----------------------------

step "first run with the test double pdh.dll"
app=$work/app
mkdir -p "$app"
cp "$exe" "$app/kivo.exe"
cp "$double" "$app/pdh.dll"
export KIVO_PDH_DOUBLE_LOG="Z:$app/pdh-calls.log"
start_kivo "$app"
wait_for_strip
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
  grep -qxF "PdhAddCounterA path=$path" "$app/pdh-calls.log" || fail "no counter added for $path"
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
wait_for_strip
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
wait_for_strip
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

echo "PASS: windows e2e ($arch) in $((SECONDS - started)) s"

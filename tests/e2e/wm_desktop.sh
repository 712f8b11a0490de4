#!/usr/bin/env bash
# shellcheck disable=SC2154 # strip and kivo_status are set by the sourced helpers
# The strip as a user runs it on a desktop: one window manager on the X display
# in $DISPLAY (a private Xvfb from tests/with_xvfb.sh), an xterm that has the
# keyboard, then Kivo. Every check runs even when an earlier one failed, and
# each prints one line "CHECK name pass|fail|n/a [detail]", so the runner can
# tabulate managers against behaviours.
#
# Usage: wm_desktop.sh kivo manager clamped-y command...
#   clamped-y: the y the manager gives a strip asked for at -2 (some keep a
#   window's top on the screen).
#   command "-": the manager already runs (a session from wm_session.sh).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=$1 manager=$2 top_y=$3
shift 3

failed=0
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
check() {
  local name=$1 result=$2
  shift 2
  echo "CHECK $name $result $*"
  [ "$result" = fail ] && failed=1
  return 0
}
note() { echo "--- $manager: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-wm-$manager.XXXXXX")
kivo_pid="" wm_pid="" xterm_pid=""
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
cleanup() {
  stop "$kivo_pid"
  stop "$xterm_pid"
  stop "$wm_pid"
  if [ -n "${KIVO_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_CONFIG_HOME/i3"
# i3 with no config of the user's own asks for one in a wizard; two lines do.
printf '# i3 config file (v4)\nfont pango:monospace 8\n' >"$XDG_CONFIG_HOME/i3/config"
# kwin starts with one virtual desktop; two give the workspace switch somewhere to go.
printf '[Desktops]\nNumber=2\nRows=1\n' >"$XDG_CONFIG_HOME/kwinrc"
store=$XDG_CONFIG_HOME/kivo/kivo.reg

# shellcheck source=tests/e2e/screen.sh
source "$here/screen.sh"
# shellcheck source=tests/e2e/linux_ui.sh
source "$here/linux_ui.sh"
# shellcheck disable=SC2034 # read by process.sh
kivo_name="kivo under $manager" close_wait_s=5
# shellcheck source=tests/e2e/process.sh
source "$here/process.sh"

hex() { printf '0x%x' "$1"; }
root_prop() { xprop -root "$1" 2>/dev/null; }
focused() { xdotool getwindowfocus 2>/dev/null; }

# The window manager's frame around $1: its ancestor that is a child of the root.
frame_of() {
  local id=$1 parent root
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  for _ in 1 2 3 4 5 6; do
    parent=$(xwininfo -tree -id "$id" | awk '/Parent window id:/ {print $4}')
    [ -z "$parent" ] || [ "$parent" = "$root" ] && break
    id=$parent
  done
  printf '0x%x\n' "$id"
}

stored() {
  local line
  line=$(tr -d '\r' <"$store" 2>/dev/null | sed -n "s/^\"$1\"=dword://p" | tail -1)
  [ -n "$line" ] && echo $((0x$line << 32 >> 32)) || echo missing
}
stored_geometry() { echo "$(stored x) $(stored y) $(stored width) $(stored height)"; }

# Waits up to 2 s for the strip's geometry to read "$1"; prints what it is.
settle_geometry() {
  local got
  for _ in $(seq 20); do
    got=$(geometry "$strip")
    [ "$got" = "$1" ] && break
    sleep 0.1
  done
  echo "$got"
}

# "above", "below" or "middle": where the strip's frame is among the root's
# children, which xwininfo lists from the top of the stack down.
stack_place() {
  local ids mine
  ids=$(xwininfo -root -children | awk '/^ +0x/ {print $1}')
  mine=$(frame_of "$strip")
  # Only the frames of windows the manager manages count: the xterm's and the strip's.
  local xterm_frame
  xterm_frame=$(frame_of "$xterm_id")
  local order
  order=$(echo "$ids" | grep -xE "$mine|$xterm_frame" | tr '\n' ' ')
  if [ "$order" = "$mine $xterm_frame " ]; then echo above; else echo below; fi
}

wm_state() { xprop -id "$strip" _NET_WM_STATE 2>/dev/null; }

# Toggles Always on Top through the menu, then says whether the manager
# shows $1 (ABOVE or BELOW) in the state and in the stacking.
toggle_on_top() {
  local want=$1 state place other=BELOW expected=above
  [ "$want" = BELOW ] && other=ABOVE expected=below
  read -r sx sy _ _ < <(geometry "$strip")
  # Two presses within the double-click time make a double-click, not a menu.
  sleep 0.6
  (choose_from_menu $((sx + 20)) $((sy + 7)) $ALWAYS_ON_TOP) || {
    check "state-$want" fail "the menu did not work"
    return
  }
  if ! grep -q _NET_WM_STATE_ABOVE <<<"$supported"; then
    check "state-$want" n/a "the manager has no ABOVE/BELOW"
    check "stack-$want" n/a "stacked $(stack_place)"
    return
  fi
  # The manager may take a moment to restack.
  for _ in $(seq 20); do
    state=$(wm_state)
    place=$(stack_place)
    [[ $state == *_NET_WM_STATE_$want* && $state != *_NET_WM_STATE_$other* ]] &&
      [ "$place" = "$expected" ] && break
    sleep 0.1
  done
  [[ $state == *_NET_WM_STATE_$want* && $state != *_NET_WM_STATE_$other* ]] &&
    check "state-$want" pass || check "state-$want" fail "$state"
  [ "$place" = "$expected" ] && check "stack-$want" pass ||
    check "stack-$want" fail "the strip $(frame_of "$strip") is $place the xterm $(frame_of "$xterm_id"): $(xwininfo -root -children | awk '/^ +0x/ {printf "%s ", $1}')"
}

start_kivo() {
  "$exe" >>"$work/kivo.log" 2>&1 &
  kivo_pid=$!
}

# --- the desktop ----------------------------------------------------------------

note "starting the window manager"
if [ "$*" != - ]; then
  (cd "$HOME" && exec "$@") >"$work/wm.log" 2>&1 &
  wm_pid=$!
fi
for _ in $(seq 100); do
  root_prop _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break
  [ -z "$wm_pid" ] || kill -0 "$wm_pid" 2>/dev/null || fail "$manager ended: $(cat "$work/wm.log")"
  sleep 0.1
done
root_prop _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "$manager did not come up in 10 s"
supported=$(root_prop _NET_SUPPORTED)

xterm -geometry 80x10+100+200 -title kivo-beside >/dev/null 2>&1 &
xterm_pid=$!
xterm_id=""
for _ in $(seq 100); do
  xterm_id=$(xdotool search --onlyvisible --name '^kivo-beside$' 2>/dev/null | head -1)
  [ -n "$xterm_id" ] && break
  sleep 0.1
done
[ -n "$xterm_id" ] || fail "the xterm did not show"
xdotool windowactivate --sync "$xterm_id" >/dev/null 2>&1 || xdotool windowfocus --sync "$xterm_id"
sleep 0.3
typing_in=$(focused)

# --- start-up: place, decorations, taskbar, focus -------------------------------

note "first start"
start_kivo
wait_for_strip 10
sleep 1
got=$(settle_geometry "443 $top_y 450 14")
[ "$got" = "443 $top_y 450 14" ] && check floats pass || check floats fail "at $got"
frame=$(frame_of "$strip")
read -r _ _ fw fh < <(geometry "$frame")
[ "$fw $fh" = "450 14" ] && check undecorated pass || check undecorated fail "frame ${fw}x$fh"
[[ $(wm_state) == *_NET_WM_STATE_SKIP_TASKBAR* ]] && check no-taskbar pass ||
  check no-taskbar fail "$(wm_state)"
now=$(focused)
[ "$now" = "$typing_in" ] && check keeps-focus pass || check keeps-focus fail "focus went to $(hex "$now")"
# A manager that refuses a window the focus it asked for flags it instead (kwin).
[[ $(wm_state) != *_NET_WM_STATE_DEMANDS_ATTENTION* ]] && check no-attention pass ||
  check no-attention fail "$(wm_state)"

# --- always on top, off, on ----------------------------------------------------

note "always on top through the menu"
toggle_on_top BELOW
toggle_on_top ABOVE
toggle_on_top BELOW
toggle_on_top ABOVE

# --- dialogs: focused, title bar on screen, Escape, focus back ---------------------

# Opens the dialog named $2 through menu item $1 and checks it as above; the
# checks are named after $3.
# Where window $1 is in the manager's stacking order, bottom first.
stack_index() {
  root_prop _NET_CLIENT_LIST_STACKING | tr -d ',' |
    awk -v w="$(hex "$1")" '{for (i = 1; i <= NF; i++) if ($i == w) print i}'
}

check_dialog() {
  local item=$1 title=$2 name=$3 dialog now fy
  read -r sx sy _ _ < <(geometry "$strip")
  sleep 0.6
  if ! (choose_from_menu $((sx + 20)) $((sy + 7)) "$item") ||
    ! dialog=$(wait_for_window "$title" 2>/dev/null); then
    check "$name-focused" fail "$title did not open"
    return
  fi
  sleep 0.5
  now=$(focused)
  [ "$now" = "$dialog" ] && check "$name-focused" pass || check "$name-focused" fail "focus on $(hex "$now")"
  for _ in $(seq 10); do
    read -r _ fy _ _ < <(geometry "$(frame_of "$dialog")")
    [ "$fy" -ge 0 ] && break
    sleep 0.1
  done
  [ "$fy" -ge 0 ] && check "$name-on-screen" pass || check "$name-on-screen" fail "frame top at $fy"
  # A window stays above the one that owns it, as on Windows; the strip
  # would otherwise cover Setup's title bar.
  if [ "$name" = setup ]; then
    if [ "$manager" = i3 ]; then
      check setup-above-strip n/a "no above or below"
    elif [ "$(stack_index "$dialog")" -gt "$(stack_index "$strip")" ] 2>/dev/null; then
      check setup-above-strip pass
    else
      check setup-above-strip fail "$(root_prop _NET_CLIENT_LIST_STACKING)"
    fi
  fi
  xdotool key Escape
  if (wait_for_window_gone "$title" 2>/dev/null); then
    check "$name-escape" pass
    sleep 0.5
    now=$(focused)
    [ "$now" = "$typing_in" ] && check "$name-focus-back" pass ||
      check "$name-focus-back" fail "focus on $(hex "$now")"
  else
    check "$name-escape" fail "still open"
    xdotool search --onlyvisible --name "^$title\$" windowclose 2>/dev/null
  fi
}

note "dialogs"
check_dialog $SETUP "Kivo Setup" setup
check_dialog $ABOUT "About Kivo" about
check_dialog $SELECT_FONT "Kivo Font" font

# --- every workspace: the strip on each, a dialog on its own -------------------

# The manager's _NET_WM_DESKTOP for window $1: 4294967295 is every workspace.
desktop_of() { xprop -id "$1" _NET_WM_DESKTOP 2>/dev/null | awk '{print $NF}'; }
map_state() { xwininfo -id "$1" 2>/dev/null | awk '/Map State:/ {print $3}'; }
# Switches to workspace $1 and waits for the manager to say it is there.
switch_to() {
  # i3 makes a workspace when it is asked for, and numbers them from 1.
  if [ "$manager" = i3 ]; then i3-msg -q "workspace number $(($1 + 1))"; else wmctrl -s "$1"; fi
  for _ in $(seq 20); do
    [ "$(root_prop _NET_CURRENT_DESKTOP | awk '{print $NF}')" = "$1" ] && break
    sleep 0.1
  done
  # Windows of the other workspace go as the switch ends.
  sleep 0.5
}

note "workspaces"
desktops=$(root_prop _NET_NUMBER_OF_DESKTOPS | awk '{print $NF}')
if [ "$manager" != i3 ] && ! [ "$desktops" -ge 2 ] 2>/dev/null; then
  check all-workspaces n/a "one workspace"
  check setup-own-workspace n/a "one workspace"
else
  read -r sx sy _ _ < <(geometry "$strip")
  sleep 0.6
  dialog=""
  (choose_from_menu $((sx + 20)) $((sy + 7)) $SETUP) && dialog=$(wait_for_window "Kivo Setup" 2>/dev/null)
  switch_to 1
  # A compositing manager may keep another workspace's windows mapped, so the
  # desktop the manager gives a window counts as well as what is shown.
  [ "$(map_state "$strip")" = IsViewable ] && [ "$(desktop_of "$strip")" = 4294967295 ] &&
    check all-workspaces pass ||
    check all-workspaces fail "$(map_state "$strip") on workspace 1, desktop $(desktop_of "$strip"), $(wm_state)"
  if [ -z "$dialog" ]; then
    check setup-own-workspace fail "Setup did not open"
  else
    [ "$(desktop_of "$dialog")" = 0 ] && check setup-own-workspace pass ||
      check setup-own-workspace fail "on desktop $(desktop_of "$dialog")"
  fi
  switch_to 0
  if [ -n "$dialog" ]; then
    wmctrl -ic "$(hex "$dialog")"
    (wait_for_window_gone "Kivo Setup" 2>/dev/null) || note "Setup stayed open"
  fi
fi

# --- drag ------------------------------------------------------------------------

note "drag"
read -r sx sy _ _ < <(geometry "$strip")
xdotool mousemove $((sx + 60)) $((sy + 7)) sleep 0.1 mousedown 1 sleep 0.1 \
  mousemove $((sx + 70)) $((sy + 20)) sleep 0.1 mousemove $((sx + 90)) $((sy + 60)) sleep 0.1 \
  mousemove $((sx + 100)) $((sy + 107)) sleep 0.1 mouseup 1
want="$((sx + 40)) $((sy + 100)) 450 14"
got=$(settle_geometry "$want")
[ "$got" = "$want" ] && check drag pass || check drag fail "at $got, expected $want"

# --- a dialog from a strip near the bottom-right corner stays on screen -------

# Setup then opens at the right and bottom edges of the screen. Its title bar
# must be on the screen and its top-left corner inside. The managers differ in
# how they read a move of a framed window, so the frame's bottom may still
# pass the screen's edge (xfwm4 now and then) and its side border the right
# edge (IceWM keeps the window itself inside, not its frame).
note "dialog in the corner"
read -r sx sy _ _ < <(geometry "$strip")
xdotool mousemove $((sx + 60)) $((sy + 7)) sleep 0.1 mousedown 1 sleep 0.1 \
  mousemove $((sx + 200)) $((sy + 300)) sleep 0.1 mousemove $((972 + 60)) $((900 + 7)) \
  sleep 0.1 mouseup 1
settle_geometry "972 900 450 14" >/dev/null
read -r sx sy _ _ < <(geometry "$strip")
sleep 0.6
# Near the bottom the menu opens above the cursor, so it is driven here
# without checking where it opened.
xdotool mousemove $((sx + 20)) $((sy + 7)) click 3
for _ in $(seq 50); do [ -n "$(menu_id)" ] && break; sleep 0.1; done
xdotool key Down Down Down Return
if dialog=$(wait_for_window "Kivo Setup" 2>/dev/null); then
  for _ in $(seq 10); do
    read -r fx fy fw fh < <(geometry "$(frame_of "$dialog")")
    [ "$fx" -ge 0 ] && [ "$fy" -ge 0 ] && [ $((fx + fw)) -le 1290 ] && [ $((fy + 30)) -le 1024 ] && break
    sleep 0.1
  done
  [ "$fx" -ge 0 ] && [ "$fy" -ge 0 ] && [ $((fx + fw)) -le 1290 ] && [ $((fy + 30)) -le 1024 ] &&
    check corner-dialog-on-screen pass ||
    check corner-dialog-on-screen fail "frame at $fx,$fy ${fw}x$fh, strip at $sx,$sy"
  sleep 0.5
  xdotool key Escape
  (wait_for_window_gone "Kivo Setup" 2>/dev/null) ||
    xdotool search --onlyvisible --name '^Kivo Setup$' windowclose 2>/dev/null
else
  check corner-dialog-on-screen fail "Setup did not open from $sx,$sy"
  xdotool key Escape
fi
# Back to the top, where the menus open at the cursor.
drag_to_top() {
  read -r sx sy _ _ < <(geometry "$strip")
  xdotool mousemove $((sx + 60)) $((sy + 7)) sleep 0.1 mousedown 1 sleep 0.1 \
    mousemove $((sx + 30)) $((sy - 300)) sleep 0.1 mousemove $((483 + 60)) $((98 + 7)) sleep 0.1 mouseup 1
  settle_geometry "483 98 450 14" >/dev/null
}
drag_to_top

# --- Quit saves the strip's own geometry -----------------------------------------

note "Quit"
read -r sx sy sw sh < <(geometry "$strip")
sleep 0.6
if (choose_from_menu $((sx + 20)) $((sy + 7)) $QUIT); then
  wait_for_exit
  got=$(stored_geometry)
  [ "$kivo_status" = 0 ] && [ "$got" = "$sx $sy $sw $sh" ] && check quit-saves pass ||
    check quit-saves fail "exit $kivo_status, stored $got, shown $sx $sy $sw $sh"
else
  check quit-saves fail "the menu did not work"
fi

# --- the window manager's close request ----------------------------------------

# Waits up to 5 s for the strip to end; sets status to its exit code, or to
# "running" (and kills it) when it did not.
await_end() {
  status=running
  for _ in $(seq 50); do
    kill -0 "$kivo_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$kivo_pid" 2>/dev/null; then
    kill -KILL "$kivo_pid"
    wait "$kivo_pid"
  else
    wait "$kivo_pid"
    status=$?
  fi
  kivo_pid=""
}

# Drags the strip by (20, 50) and sets moved to where it is then.
drag_strip() {
  read -r sx sy _ _ < <(geometry "$strip")
  xdotool mousemove $((sx + 60)) $((sy + 7)) sleep 0.1 mousedown 1 sleep 0.1 \
    mousemove $((sx + 70)) $((sy + 20)) sleep 0.1 mousemove $((sx + 80)) $((sy + 57)) sleep 0.1 mouseup 1
  moved=$(settle_geometry "$((sx + 20)) $((sy + 50)) 450 14")
}

note "close request"
start_kivo
wait_for_strip 10
sleep 0.5
drag_strip
wmctrl -ic "$(hex "$strip")"
await_end
got=$(stored_geometry)
[ "$status" = 0 ] && [ "$got" = "$moved" ] && check close-request pass ||
  check close-request fail "exit $status, stored $got, last shown $moved"

# --- a termination signal whatever is open ------------------------------------

# Starts the strip, opens $2 (the menu, or a dialog through menu item $3 and
# its title $4), sends signal $1 and checks that everything closes and the
# process ends with 0.
signal_with_open() {
  local sig=$1 what=$2 item=${3:-} title=${4:-}
  start_kivo
  wait_for_strip 10
  sleep 0.5
  read -r sx sy _ _ < <(geometry "$strip")
  if [ "$what" = menu ]; then
    xdotool mousemove $((sx + 20)) $((sy + 7)) click 3
    for _ in $(seq 50); do [ -n "$(menu_id)" ] && break; sleep 0.1; done
  else
    (choose_from_menu $((sx + 20)) $((sy + 7)) "$item") && wait_for_window "$title" >/dev/null
  fi
  kill -"$sig" "$kivo_pid"
  await_end
  local left
  left=$(xdotool search --onlyvisible --name '^(Kivo menu|Kivo2|Kivo Setup|Kivo Font)$' 2>/dev/null)
  [ "$status" = 0 ] && [ -z "$left" ] && check "$sig-$what" pass ||
    check "$sig-$what" fail "exit $status with the $what open, still on screen: $left"
}

note "signals"
signal_with_open TERM menu
signal_with_open INT setup $SETUP "Kivo Setup"
signal_with_open HUP font $SELECT_FONT "Kivo Font"

# --- the X server goes away under a moved strip --------------------------------

note "X server ends"
start_kivo
wait_for_strip 10
sleep 0.5
drag_strip
kill "$KIVO_XVFB_PID"
await_end
got=$(stored_geometry)
[ "$status" = 0 ] && [ "$got" = "$moved" ] && check x-gone-saves pass ||
  check x-gone-saves fail "exit $status, stored $got, last shown $moved"

exit $failed

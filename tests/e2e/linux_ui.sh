# shellcheck shell=bash
# Driving the Linux strip's menu and dialogs with xdotool, for the end-to-end
# test and the soak. Sourced, not run: the caller provides fail and geometry
# (tests/e2e/screen.sh).

menu_id() { xdotool search --onlyvisible --name '^Kivo menu$' 2>/dev/null | head -1 || true; }

# Right-clicks at $1,$2, then picks the item $3 down (separators skipped) by
# keyboard, and waits for the menu to close. $4: the width of the strip's
# frame (0 if left out); the program places the menu at the press's client
# point from the window's outer corner, so a frame moves it up and left.
choose_from_menu() {
  local x=$1 y=$2 downs=$3 frame=${4:-0} keys=() i menu=""
  xdotool mousemove "$x" "$y" click 3
  for i in $(seq 100); do
    menu=$(menu_id)
    [ -n "$menu" ] && break
    sleep 0.05
  done
  [ -n "$menu" ] || fail "the context menu did not open on a right-click at $x,$y: $(xwininfo -root -children | grep "^ *0x")"
  local mx my
  read -r mx my _ _ < <(geometry "$menu")
  [ "$mx $my" = "$((x - frame)) $((y - frame))" ] ||
    fail "the menu opened at $mx,$my, not at the cursor $x,$y less a frame of $frame"
  for ((i = 0; i < downs; i++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  for i in $(seq 100); do
    [ -z "$(menu_id)" ] && return 0
    sleep 0.05
  done
  fail "the context menu was still open after choosing an item"
}
ALWAYS_ON_TOP=1
SELECT_FONT=2
SETUP=3
ABOUT=4
QUIT=5

# Prints the X id of the visible window named exactly $1 once it shows.
wait_for_window() {
  local id i
  for i in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.05
  done
  fail "no window named '$1' appeared"
}

wait_for_window_gone() {
  local i
  for i in $(seq 100); do
    [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true)" ] && return 0
    sleep 0.05
  done
  fail "the window named '$1' did not close"
}

# Opens Setup from the menu at $1,$2 (with a frame $3 wide, as for
# choose_from_menu) and sets dialog_x, dialog_y to its top-left.
open_setup() {
  local dialog
  choose_from_menu "$1" "$2" $SETUP "${3:-0}"
  dialog=$(wait_for_window "Kivo Setup")
  read -r dialog_x dialog_y _ _ < <(geometry "$dialog")
}

# Clicks a place of the Setup dialog, in pixels from its top-left. The places
# follow from the template's dialog units and the dialog font's base units.
click_in_setup() { xdotool mousemove $((dialog_x + $1)) $((dialog_y + $2)) click 1; }

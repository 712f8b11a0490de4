# shellcheck shell=bash
# Driving kivo.exe's menu and dialogs under Wine with xdotool, and reading its
# colours off the screen, for the end-to-end test and the soak. Sourced, not
# run: the caller provides fail, and geometry and pixel_classes
# (tests/e2e/screen.sh).

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

# Picks the menu item that is $1 items down (separators are skipped), by
# keyboard.
press_menu_item() {
  local downs=$1 keys=() i
  for ((i = 0; i < downs; i++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
}

# Picks the menu item that is $2 items down and waits for the menu to close.
choose_menu_item() {
  press_menu_item "$2"
  wait_for_menu_closed "$1"
}
ALWAYS_ON_TOP=1
SELECT_FONT=2
SETUP=3
ABOUT=4
QUIT=5

# "count #RRGGBB" lines, one for each exact colour in a screen rectangle
# (x y width height, clipped at the top edge as pixel_classes does).
exact_colours() {
  local x=$1 y=$2 w=$3 h=$4
  if [ "$y" -lt 0 ]; then
    h=$((h + y))
    y=0
  fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -depth 8 -format %c histogram:info:- |
    awk '{print $1 + 0, $3}'
}

# How many pixels of colour $1 (#RRGGBB) the exact_colours output $2 counts.
count_of() { awk -v colour="$1" '$2 == colour {n += $1} END {print n + 0}' <<<"$2"; }

# Prints the X id of the visible window named $1 once it holds the
# keyboard focus: Wine maps a dialog a moment before it gives it the focus,
# and keys sent in between go wherever the focus was.
wait_for_dialog() {
  local name=$1 id i
  for i in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -1 || true)
    if [ -n "$id" ] && [ "$(xdotool getwindowfocus 2>/dev/null || true)" = "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  fail "no focused window named '$name' within 15 s"
}

wait_for_dialog_closed() {
  local name=$1 i
  for i in $(seq 100); do
    xdotool search --onlyvisible --name "^$name\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "the window named '$name' was still open 10 s after closing it"
}

# Picks the menu item $1 items down, which opens the dialog named $2, and
# prints the dialog's X id once it has the focus. Not wait_for_menu_closed:
# the dialog is another visible window of kivo.exe, as the menu was.
open_dialog_from_menu() {
  press_menu_item "$1"
  wait_for_dialog "$2"
}

# Clicks the point $2,$3, in dialog units, of the Setup dialog $1. Wine lays
# the template's MS Sans Serif 8 out at 3 pixels to 2 units both ways; the
# rest of the window, beyond the 176 x 90 units of the client area, is the
# frame (equal at the sides and bottom) and the caption.
click_in_setup() {
  local x y w h side top
  read -r x y w h < <(geometry "$1")
  side=$(((w - 176 * 3 / 2) / 2))
  top=$((h - 90 * 3 / 2 - side))
  if [ "$side" -lt 0 ] || [ "$side" -gt 10 ] || [ "$top" -lt "$side" ] || [ "$top" -gt 40 ]; then
    fail "the Setup dialog is ${w}x$h: not 176 x 90 units at 3 pixels to 2 in a frame"
  fi
  xdotool mousemove $((x + side + $2 * 3 / 2)) $((y + top + $3 * 3 / 2)) click 1
}

# shellcheck shell=bash
# What the end-to-end tests read off the X screen. Sourced, not run.

# "x y width height" of an X window, as the screen has it.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print x, y, w, h}'
}

# "black green grey other": pixel counts of a screen rectangle (x y width
# height, clipped to the screen). Green is any shade with no red or blue (text
# edges are blended); grey is any shade with red = green = blue, black excepted.
pixel_classes() {
  local x=$1 y=$2 w=$3 h=$4
  if [ "$y" -lt 0 ]; then
    h=$((h + y))
    y=0
  fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -depth 8 -format %c histogram:info:- |
    awk '{gsub(/[(),:]/, " "); n = $1; r = $2; g = $3; b = $4
      if (r == 0 && g == 0 && b == 0) black += n
      else if (r == 0 && b == 0) green += n
      else if (r == g && g == b) grey += n
      else other += n}
      END {print black + 0, green + 0, grey + 0, other + 0}'
}

# How many pixel rows of a screen rectangle (x y width height, on the
# screen) hold any green: the height of the strip's drawn text.
green_rows() {
  import -window root -crop "${3}x${4}+${1}+${2}" +repage -depth 8 txt:- |
    awk -F'[,:() ]+' 'NR > 1 && $3 == 0 && $4 > 0 && $5 == 0 {rows[$2] = 1}
      END {print length(rows)}'
}

# Sets strip to the X id of the strip once it is mapped, waiting at most $1
# seconds; the caller's fail_if_ended says so when the program ended first.
# Not for $(...): the exit code of a program that ended can only be had in
# the caller's shell.
wait_for_strip() {
  for _ in $(seq $(($1 * 10))); do
    strip=$(xdotool search --onlyvisible --name '^Kivo2$' 2>/dev/null | head -1 || true)
    [ -n "$strip" ] && return 0
    fail_if_ended "before its window appeared"
    sleep 0.1
  done
  fail "no visible window named Kivo2 within $1 s"
}

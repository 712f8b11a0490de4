#!/usr/bin/env bash
# GNOME and KDE sessions for the window-manager matrix, where one command does
# not make a desktop: gnome-shell needs a system bus and starts in its
# overview, and the Wayland compositors bring their own X display (XWayland).
# Brings the session up, runs the command in it with DISPLAY, XAUTHORITY and
# KIVO_XVFB_PID (the X server a test may end) set, then ends the session.
#
# Usage: wm_session.sh gnome-shell|mutter-wayland|kwin-wayland command...
#   gnome-shell runs on the X display in $DISPLAY (see with_xvfb.sh); the
#   others start headless with a 1280x1024 output.
set -uo pipefail

kind=${1:?usage: wm_session.sh kind command...}
shift

session=$(mktemp -d "${TMPDIR:-/tmp}/kivo-session-$kind.XXXXXX")
chmod 700 "$session"
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[$i]}" 2>/dev/null && wait "${pids[$i]}" 2>/dev/null
  done
  rm -rf "$session"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $kind: $*" >&2
  [ -f "$session/compositor.log" ] && tail -5 "$session/compositor.log" >&2
  exit 1
}

export XDG_RUNTIME_DIR=$session HOME=$session/home
# Nothing of the desktop the tests were started from.
unset WAYLAND_DISPLAY XAUTHORITY
mkdir -p "$HOME"
dbus-daemon --session --address="unix:path=$session/bus" --nofork --nopidfile >/dev/null 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$session/bus

wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
overview_shown() {
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive 2>/dev/null
}

# The compositor's XWayland: its display from its command line, the server
# itself for a test that ends it.
find_xwayland() {
  local compositor=$1 line
  for _ in $(seq 100); do
    line=$(ps -o pid=,args= --ppid "$compositor" | awk '$2 ~ /Xwayland$/ {print $1, $3; exit}')
    [ -n "$line" ] && break
    kill -0 "$compositor" 2>/dev/null || fail "ended before starting XWayland"
    sleep 0.1
  done
  [ -n "$line" ] || fail "no XWayland after 10 s"
  read -r KIVO_XVFB_PID DISPLAY <<<"$line"
  export KIVO_XVFB_PID DISPLAY
}

case $kind in
  gnome-shell)
    # Without a system bus it ends at once (no login manager to ask).
    dbus-daemon --config-file=/usr/share/dbus-1/session.conf \
      --address="unix:path=$session/system-bus" --nofork --nopidfile >/dev/null 2>&1 &
    pids+=($!)
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$session/system-bus
    # Its start-up notices (no screen lock without GDM, a session as root)
    # come as banners over the top of the screen, where the strip is, and
    # stay while the pointer is on them: do not disturb. Settings go to a
    # plain file, written before the shell starts: through dconf, a value just
    # set was still unwritten now and then (4 reads in 30 right after it).
    export GSETTINGS_BACKEND=keyfile
    gsettings set org.gnome.desktop.notifications show-banners false
    [ "$(gsettings get org.gnome.desktop.notifications show-banners)" = false ] ||
      fail "could not turn the notification banners off"
    # The screen lock notice is shown once per user.
    mkdir -p "$HOME/.local/share/gnome-shell"
    touch "$HOME/.local/share/gnome-shell/lock-warning-shown"
    gnome-shell --x11 --replace --sm-disable >"$session/compositor.log" 2>&1 &
    pids+=($!)
    ;;
  mutter-wayland)
    unset DISPLAY
    mutter --wayland --headless --virtual-monitor 1280x1024 --wayland-display wayland-kivo \
      >"$session/compositor.log" 2>&1 &
    pids+=($!)
    find_xwayland "${pids[-1]}"
    export XAUTHORITY
    for _ in $(seq 50); do
      XAUTHORITY=$(find "$session" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -1)
      [ -n "$XAUTHORITY" ] && break
      sleep 0.1
    done
    ;;
  kwin-wayland)
    unset DISPLAY
    # The installed binary carries a file capability that a container refuses
    # to grant; a plain copy runs.
    cp /usr/bin/kwin_wayland "$session/" || fail "no /usr/bin/kwin_wayland"
    mkdir -p "$HOME/.config"
    # Two virtual desktops, so the workspace switch has somewhere to go.
    printf '[Desktops]\nNumber=2\nRows=1\n' >"$HOME/.config/kwinrc"
    "$session/kwin_wayland" --virtual --xwayland --width 1280 --height 1024 \
      --socket wayland-kivo >"$session/compositor.log" 2>&1 &
    pids+=($!)
    find_xwayland "${pids[-1]}"
    ;;
  *) fail "unknown session" ;;
esac

for _ in $(seq 300); do
  wm_up && break
  kill -0 "${pids[-1]}" 2>/dev/null || fail "ended before managing windows"
  sleep 0.1
done
wm_up || fail "no window manager after 30 s"

if [ "$kind" = gnome-shell ]; then
  # It opens the Activities overview once its start-up animation is done; the
  # overview hides every window and takes the clicks.
  for _ in $(seq 300); do
    [[ $(overview_shown) == *true* ]] && break
    sleep 0.1
  done
  # Escape, as a user closes it; one pressed during the animation is lost.
  for _ in $(seq 10); do
    xdotool key Escape
    for _ in $(seq 10); do
      [[ $(overview_shown) == *false* ]] && break 2
      sleep 0.1
    done
  done
  [[ $(overview_shown) == *false* ]] || fail "the overview stayed open"
fi

"$@"

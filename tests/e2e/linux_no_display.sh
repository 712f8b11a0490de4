#!/usr/bin/env bash
# The strip with no X display to show on: one line on stderr that names the
# display and why, exit code 1, and nothing written to the store. And a server
# that comes up within the two seconds the strip keeps trying still gets it.
#
# Usage: linux_no_display.sh kivo
set -euo pipefail

exe=${1:?usage: linux_no_display.sh kivo}
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-no-display.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# $1: what DISPLAY is ("unset" for none); $2: the line expected on stderr.
expect_refusal() {
  local status=0
  if [ "$1" = unset ]; then
    env -u DISPLAY "$exe" 2>"$work/err" || status=$?
  else
    DISPLAY=$1 "$exe" 2>"$work/err" || status=$?
  fi
  [ "$status" -eq 1 ] || fail "with DISPLAY $1 the exit code is $status, expected 1"
  [ "$(cat "$work/err")" = "$2" ] || fail "with DISPLAY $1 stderr says '$(cat "$work/err")', expected '$2'"
  [ ! -e "$XDG_CONFIG_HOME" ] || fail "with DISPLAY $1 something was written: $(ls -R "$XDG_CONFIG_HOME")"
}

expect_refusal unset "kivo: no X display to show the strip on: DISPLAY is not set"
# A display number no server listens on: the connection is tried for two
# seconds, then refused.
free=$((RANDOM % 1000 + 5000))
while [ -e "/tmp/.X11-unix/X$free" ]; do free=$((free + 1)); done
expect_refusal ":$free" "kivo: cannot connect to the X display :$free: Connection refused"

# The server starts half a second after the strip does.
DISPLAY=:$free "$exe" 2>"$work/err" &
kivo=$!
sleep 0.5
Xvfb ":$free" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $kivo $xvfb 2>/dev/null; rm -rf "$work"' EXIT
shown=""
for _ in $(seq 100); do
  shown=$(DISPLAY=:$free xdotool search --onlyvisible --name '^Kivo2$' 2>/dev/null | head -1 || true)
  [ -n "$shown" ] && break
  kill -0 "$kivo" 2>/dev/null || fail "the strip gave up on a server that came up late: $(cat "$work/err")"
  sleep 0.1
done
[ -n "$shown" ] || fail "the strip did not show on a server that came up late"
echo "PASS"

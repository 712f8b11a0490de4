#!/usr/bin/env bash
# The strip with no X display to show on: one line on stderr that names the
# display and why, exit code 1, and nothing written to the store.
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
echo "PASS"

#!/usr/bin/env bash
# Runs a command on a private Xvfb of its own, so tests never touch the user's
# display and can run side by side. The server goes when the command ends.
# Usage: with_xvfb.sh command [args...]
# KIVO_XVFB_SCREEN sets the screen as Xvfb takes it (default 1280x1024x24).
set -euo pipefail

command -v Xvfb >/dev/null || { echo "Xvfb is not installed (run scripts/install-deps.sh as root)" >&2; exit 1; }

fdfile=$(mktemp "${TMPDIR:-/tmp}/kivo-xvfb.XXXXXX")
exec 3>"$fdfile"
# -displayfd picks a free display number and writes it once the server listens.
# -noreset: with the default, the server resets whenever its last client leaves,
# and a program started during the reset finds no display.
Xvfb -displayfd 3 -screen 0 "${KIVO_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
cleanup() {
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -f "$fdfile"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$fdfile" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$fdfile" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
DISPLAY=":$(head -n1 "$fdfile")"
# KIVO_XVFB_PID lets a test end the server under a client, as a log-out does.
export DISPLAY KIVO_XVFB_PID=$xvfb
# The number comes once the server listens; still, make sure a client gets in
# before the command runs, so a slow machine fails here and says so.
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb on $DISPLAY ended before taking clients" >&2; exit 1; }
  sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb on $DISPLAY takes no clients" >&2; exit 1; }
"$@"

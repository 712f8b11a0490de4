#!/usr/bin/env bash
# Start-up to the strip's first frame on the screen, median of 7 runs, each
# timed by bench/first_frame.cpp from the fork to the first green pixel.
# Writes <dir>/startup.md.
#
# Usage: bench/startup.sh <dir> [runs]     (a private Xvfb, a private HOME)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
kivo=$root/build/linux-release/kivo
timer=$root/build/linux-release/bench/kivo_first_frame

fail() {
  echo "startup.sh: $*" >&2
  exit 1
}

if [ "${1:-}" = _on_display ]; then
  dir=$2 runs=$3
  home=$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench-startup.XXXXXX")
  trap 'rm -rf "$home"' EXIT
  export HOME=$home XDG_CONFIG_HOME=$home/config
  # The first start writes the store file and fills the page cache: not
  # counted, so every counted run starts as a returning user's does.
  "$timer" "$kivo" >/dev/null || fail "the strip showed no first frame"
  : >"$dir/startup.txt"
  for _ in $(seq "$runs"); do
    "$timer" "$kivo" >>"$dir/startup.txt" || fail "the strip showed no first frame"
  done
  exit 0
fi

dir=${1:?usage: bench/startup.sh <dir> [runs]}
runs=${2:-7}
{ [ -x "$kivo" ] && [ -x "$timer" ]; } || fail "build the linux-release preset first (cmake --build --preset linux-release)"
mkdir -p "$dir"
rm -f "$dir/startup.md"
"$root/tests/with_xvfb.sh" "$0" _on_display "$dir" "$runs"

# Median, minimum and maximum of a column of startup.txt.
summary() {
  sort -n -k"$1" "$dir/startup.txt" | awk -v c="$1" '{v[NR] = $c}
    END {printf "%.1f ms (min %.1f, max %.1f)", v[int((NR + 1) / 2)], v[1], v[NR]}'
}
{
  echo "### Start-up"
  echo
  echo "| What | Median of $runs runs |"
  echo "|---|---|"
  echo "| Exec to the strip's window mapped | $(summary 1) |"
  echo "| Exec to the first frame on the screen (first green pixel) | $(summary 2) |"
  echo
  echo "Timed by build/linux-release/bench/kivo_first_frame (bench/first_frame.cpp): it forks and"
  echo "execs the strip, watches the root window for the window of class \"Kivo\" to map, then"
  echo "reads that screen area about every millisecond until a green pixel shows. A first,"
  echo "uncounted start writes the store file, so the counted ones start as a returning user's."
} >"$dir/startup.md"

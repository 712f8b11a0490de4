#!/usr/bin/env bash
# What a refresh asks of the kernel: system calls per refresh (strace -c) and
# wake-ups per second (the voluntary context switches of all threads), for the
# strip, conky and xosview, each alone on a private Xvfb, all at once, each
# refreshing once a second. Writes <dir>/syscalls.md and <dir>/syscalls-goals.tsv.
#
# Usage: bench/syscalls.sh <dir> [seconds] [kivo]
#   seconds: each of the two windows (default 60); kivo: the strip to measure
#   (default build/linux-release/kivo).
#
# The wake-ups are counted first, with nothing attached; strace then attaches
# for the same time, since its stops would add switches of their own.
set -euo pipefail

pid=""
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
SETTLE_SECONDS=5
# shellcheck source=bench/proc_stats.sh
source "$here/proc_stats.sh"

fail() {
  echo "syscalls.sh: $*" >&2
  exit 1
}

# Sum of a status field over every thread of process $1.
thread_sum() {
  cat "/proc/$1/task/"*/status 2>/dev/null | awk -v f="$2:" '$1 == f {n += $2} END {print n + 0}'
}

# One program on the Xvfb that with_xvfb.sh made for it. Writes
# <dir>/syscalls-<program>.txt: "wakeups_per_s calls_per_s" and
# <dir>/syscalls-<program>.strace: strace's table.
measure_on_display() {
  local dir=$1 seconds=$2 program=$3 kivo=$4 home
  home=$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench-syscalls.XXXXXX")
  case $program in
    kivo) HOME=$home XDG_CONFIG_HOME=$home/config "$kivo" >"$home/log" 2>&1 & ;;
    conky) HOME=$home conky -q -c "$here/peers/conky.conf" >"$home/log" 2>&1 & ;;
    xosview)
      HOME=$home xosview -font fixed +cpu +mem +net +battery \
        -load -swap -page -disk -int -gfx -wireless -irqrate -lmstemp -coretemp -acpitemp \
        -xrm 'xosview*cpuPriority: 10' -xrm 'xosview*memPriority: 10' \
        -xrm 'xosview*netPriority: 10' -xrm 'xosview*batteryPriority: 10' >"$home/log" 2>&1 &
      ;;
  esac
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true' EXIT
  sleep "$SETTLE_SECONDS"
  kill -0 "$pid" 2>/dev/null || fail "$program ended at its start: $(cat "$home/log")"
  local before after
  before=$(thread_sum "$pid" voluntary_ctxt_switches)
  sleep "$seconds"
  after=$(thread_sum "$pid" voluntary_ctxt_switches)
  strace -c -f -p "$pid" -o "$dir/syscalls-$program.strace" 2>/dev/null &
  local tracer=$!
  sleep "$seconds"
  kill -INT "$tracer"
  wait "$tracer" 2>/dev/null || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
  # strace -c's rows are "% seconds usecs/call calls [errors] name", ending
  # with the "total" row.
  local calls
  calls=$(awk '$NF == "total" {print $4}' "$dir/syscalls-$program.strace")
  awk -v w=$((after - before)) -v c="${calls:-0}" -v s="$seconds" \
    'BEGIN {printf "%.2f %.2f\n", w / s, c / s}' >"$dir/syscalls-$program.txt"
}

if [ "${1:-}" = _measure ]; then
  shift
  measure_on_display "$@"
  exit 0
fi

dir=${1:?usage: bench/syscalls.sh <dir> [seconds] [kivo]}
seconds=${2:-60}
kivo=${3:-$root/build/linux-release/kivo}
[ -x "$kivo" ] || fail "$kivo is missing: cmake --build --preset linux-release"
for tool in strace conky xosview; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh --bench as root)"
done
mkdir -p "$dir"
rm -f "$dir"/syscalls-*.txt "$dir"/syscalls-*.strace "$dir/syscalls.md" "$dir/syscalls-goals.tsv"

echo "syscalls: the strip, conky and xosview, each alone, for $((SETTLE_SECONDS + 2 * seconds)) s"
pids=()
for program in kivo conky xosview; do
  "$root/tests/with_xvfb.sh" "$0" _measure "$dir" "$seconds" "$program" "$kivo" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[ $status -eq 0 ] || fail "a measurement failed"

field() { awk -v c="$1" '{print $c}' "$dir/syscalls-$2.txt"; }
# The calls a program makes most, "name n/s" for the first three.
busiest() {
  awk '$NF != "total" && $1 ~ /^[0-9.]+$/ {print $4, $NF}' "$dir/syscalls-$1.strace" |
    sort -rn | head -3 | awk -v s="$seconds" '{printf "%s%s %.1f", (NR > 1 ? ", " : ""), $2, $1 / s}'
}
{
  echo "### System calls and wake-ups ($seconds s each, one refresh a second)"
  echo
  echo "| Program | System calls per refresh | Wake-ups per second | Most frequent calls (per refresh) |"
  echo "|---|---|---|---|"
  for program in kivo conky xosview; do
    echo "| $program | $(field 2 "$program") | $(field 1 "$program") | $(busiest "$program") |"
  done
  echo
  echo "Each program ran alone on a private Xvfb. Wake-ups are the voluntary context switches of all"
  echo "its threads over $seconds s with nothing attached; the system calls come from \`strace -c -f\`"
  echo "attached for the next $seconds s."
} >"$dir/syscalls.md"
{
  met=$(awk -v c="$(field 2 kivo)" 'BEGIN {print (c <= 12 ? "yes" : "no")}')
  printf 'System calls per refresh\t%s\t≤ 12\t%s\n' "$(field 2 kivo)" "$met"
  met=$(awk -v w="$(field 1 kivo)" 'BEGIN {print (w <= 1.05 ? "yes" : "no")}')
  printf 'Wake-ups per refresh\t%s\t1\t%s\n' "$(field 1 kivo)" "$met"
} >"$dir/syscalls-goals.tsv"
cat "$dir/syscalls.md"

#!/usr/bin/env bash
# How much memory the strip holds: the Linux build after 10 s at the default
# period and after a long run at the shortest period, the Windows exes' sizes,
# and their private bytes and working set under Wine. Writes <dir>/memory.md
# and <dir>/memory-goals.tsv.
#
# Usage: bench/memory.sh <dir> [refreshes]           everything, in turn
#        bench/memory.sh linux|windows <dir>         one part
#        bench/memory.sh soak <dir> [refreshes [until-file]]
#        bench/memory.sh report <dir>                the table from what is there
# The long run stops once it has made [refreshes] (default 30000) and, with
# an until-file, once that file exists too: bench/run.sh keeps it going while
# other measurements run and ends it when nothing else runs, since the PSS of
# a process falls with every other process that maps the same libraries.
# Every part runs on private X servers and in private HOME folders.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
kivo=$root/build/linux-release/kivo
# shellcheck source=bench/proc_stats.sh
source "$here/proc_stats.sh"

fail() {
  echo "memory.sh: $*" >&2
  exit 1
}

# The Windows timer floor: SetTimer raises shorter periods to 10 ms, and the
# Linux layer does the same, so a stored refresh of 1 ms refreshes every 10.
TIMER_FLOOR_MS=10
PSS_LIMIT_KB=$((6 * 1024))
EXE_LIMIT_BYTES=300000

# --- Linux, 10 s at the default period ----------------------------------------

linux_on_display() {
  local dir=$1 home pid
  home=$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench-memory.XXXXXX")
  HOME=$home XDG_CONFIG_HOME=$home/config "$kivo" >"$home/kivo.log" 2>&1 &
  pid=$!
  sleep 10
  kill -0 "$pid" 2>/dev/null || fail "the strip ended within 10 s: $(cat "$home/kivo.log")"
  {
    echo "linux_rss_kb=$(rss_kb "$pid")"
    echo "linux_pss_kb=$(pss_kb "$pid")"
    echo "linux_uss_kb=$(uss_kb "$pid")"
  } >"$dir/memory-linux.txt"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
}

# --- Linux, many refreshes ------------------------------------------------------

# The read calls one refresh makes: the strip at the default period, its
# /proc/PID/io polled every 20 ms; each refresh shows as one burst of reads
# (rarely split over two polls), and the median burst is the count.
reads_per_refresh() {
  local home=$1 pid samples=() key value
  HOME=$home XDG_CONFIG_HOME=$home/calibration "$kivo" >"$home/calibration.log" 2>&1 &
  pid=$!
  wait_for_named_window '^Kivo2$' 20 >/dev/null || fail "no strip within 20 s: $(cat "$home/calibration.log")"
  sleep 1.2
  for _ in $(seq 260); do
    while read -r key value; do
      [ "$key" = "syscr:" ] && samples+=("$value")
    done <"/proc/$pid/io"
    sleep 0.02
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  printf '%s\n' "${samples[@]}" | awk '
    NR > 1 {d = $1 - last; if (d > 0) burst += d; else if (burst > 0) {sums[n++] = burst; burst = 0}}
    {last = $1}
    END {
      if (n == 0) exit 1
      for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (sums[j] < sums[i]) {t = sums[i]; sums[i] = sums[j]; sums[j] = t}
      print sums[int(n / 2)]
    }'
}

soak_on_display() {
  local dir=$1 target=$2 until_file=${3:-} home pid per start_ns now_ns elapsed_ms s0 reads
  local made=0 cap_s early_pss="" early_rss="" stopped_by="target"
  home=$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench-soak.XXXXXX")
  per=$(reads_per_refresh "$home") || fail "could not tell the read calls of one refresh"
  [ "$per" -gt 0 ] || fail "a refresh makes no read calls: cannot count refreshes"
  write_store "$home/config/kivo/kivo.reg" refresh=1
  HOME=$home XDG_CONFIG_HOME=$home/config "$kivo" >"$home/kivo.log" 2>&1 &
  pid=$!
  wait_for_named_window '^Kivo2$' 20 >/dev/null || fail "no strip within 20 s: $(cat "$home/kivo.log")"
  start_ns=$(date +%s%N)
  s0=$(read_calls "$pid")
  # Three times the least time it can take, and a margin for a busy machine.
  cap_s=$((target * TIMER_FLOOR_MS * 3 / 1000 + 120))
  while :; do
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "the strip ended during the long run: $(cat "$home/kivo.log")"
    now_ns=$(date +%s%N)
    elapsed_ms=$(((now_ns - start_ns) / 1000000))
    reads=$(read_calls "$pid")
    made=$(((reads - s0) / per))
    if [ -z "$early_pss" ] && [ "$elapsed_ms" -ge 10000 ]; then
      early_pss=$(pss_kb "$pid")
      early_rss=$(rss_kb "$pid")
    fi
    if [ "$made" -ge "$target" ]; then
      [ -z "$until_file" ] || [ -e "$until_file" ] && break
    fi
    if [ $((elapsed_ms / 1000)) -ge "$cap_s" ] && [ "$made" -lt "$target" ]; then
      stopped_by="time"
      break
    fi
    # Waiting for the others: never longer than 15 minutes past the target.
    if [ $((elapsed_ms / 1000)) -ge $((cap_s + 900)) ]; then
      stopped_by="time"
      break
    fi
  done
  {
    echo "soak_reads_per_refresh=$per"
    echo "soak_refreshes=$made"
    echo "soak_refreshes_at_most=$((elapsed_ms / TIMER_FLOOR_MS + 1))"
    echo "soak_seconds=$((elapsed_ms / 1000))"
    echo "soak_target=$target"
    echo "soak_stopped_by=$stopped_by"
    echo "soak_cpu_ms=$(ticks_to_ms "$(cpu_ticks "$pid")")"
    echo "soak_early_pss_kb=$early_pss"
    echo "soak_early_rss_kb=$early_rss"
    echo "soak_rss_kb=$(rss_kb "$pid")"
    echo "soak_pss_kb=$(pss_kb "$pid")"
    echo "soak_uss_kb=$(uss_kb "$pid")"
  } >"$dir/memory-soak.txt"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
}

# --- Windows under Wine ---------------------------------------------------------

# One exe: 10 s after its start, the process probe run in the same prefix
# reads its private bytes, working set and GDI objects.
windows_one_on_display() {
  local dir=$1 preset=$2 exe probe arch prefix_tar work pid="" line started
  exe=$root/build/$preset/kivo.exe
  probe=$root/build/$preset/tests/soak/process_probe/kivo_process_probe.exe
  [ -f "$exe" ] || fail "$exe is missing (cmake --build --preset $preset)"
  [ -f "$probe" ] || { echo "memory.sh: no $probe: private bytes not measured" >&2; return 0; }
  # shellcheck source=tests/e2e/wine_prefix.sh
  source "$root/tests/e2e/wine_prefix.sh"
  (
    wine_run_folder "$exe" bench/wine.XXXXXX "$root/build"
    # Wine's own pdh.dll, as a user of Wine has it: the rates read -1.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=b"
    # shellcheck disable=SC2317 # run by the trap
    cleanup() {
      [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
      wine_stop_server
      rm -rf "$work"
    }
    trap cleanup EXIT
    wine_restore_prefix "$prefix_tar" >/dev/null
    wineserver -p
    started=$(date +%s%N)
    (cd "$(dirname "$exe")" && exec wine kivo.exe) </dev/null >"$work/kivo.log" 2>&1 &
    pid=$!
    wait_for_named_window '^Kivo2$' 30 >/dev/null || fail "$preset: no strip within 30 s"
    sleep "$(awk -v s="$started" -v n="$(date +%s%N)" 'BEGIN {w = 10 - (n - s) / 1e9; print (w > 0 ? w : 0)}')"
    line=$(wine "$probe" </dev/null 2>/dev/null | tr -d '\r' | grep -m1 '^gdi_objects=' || true)
    [ -n "$line" ] || fail "$preset: the process probe printed nothing"
    {
      for field in gdi_objects private_bytes working_set; do
        echo "${preset}_$field=$(echo "$line" | sed -n "s/.*\b$field=\([0-9]*\).*/\1/p")"
      done
    } >>"$dir/memory-windows.txt"
  )
}

windows_sizes() {
  local dir=$1 preset
  for preset in windows-i686 windows-x64; do
    [ -f "$root/build/$preset/kivo.exe" ] &&
      echo "${preset}_exe_bytes=$(stat -c %s "$root/build/$preset/kivo.exe")" >>"$dir/memory-windows.txt"
  done
  true
}

# --- The table ----------------------------------------------------------------------

# "8.12 MiB" from kB, or "not measured".
kb_cell() { if [ -n "$1" ]; then mib "$1"; else echo "not measured"; fi; }
bytes_cell() {
  if [ -n "$1" ]; then
    echo "$(thousands "$1") bytes ($(awk -v b="$1" 'BEGIN {printf "%.1f", b / 1024}') KiB)"
  else
    echo "not measured"
  fi
}
bytes_mib_cell() { if [ -n "$1" ]; then mib $(($1 / 1024)); else echo "not measured"; fi; }
# The figure the same row had in the results this run replaces, so a change
# to the exes shows beside the figure before it.
earlier() {
  local figure
  figure=$(grep -F "| $1 | " "$root/bench/results.md" 2>/dev/null | head -1 |
    sed 's/^| .* | \(.*\) |$/\1/; s/ (earlier run: .*)$//')
  [ -z "$figure" ] || echo " (earlier run: $figure)"
}

goal_line() {
  # goal, measured, limit, met
  local met=no
  [ "$4" = yes ] && met=yes
  [ "$2" = "not measured" ] && met=no
  printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$met" >>"$5"
}

report() {
  local dir=$1 l s w n at_most
  l=$dir/memory-linux.txt s=$dir/memory-soak.txt w=$dir/memory-windows.txt
  n=$(value_of soak_refreshes "$s")
  at_most=$(value_of soak_refreshes_at_most "$s")
  {
    echo "### Memory"
    echo
    echo "| What | Measured |"
    echo "|---|---|"
    echo "| Linux strip after 10 s at the default 1000 ms: RSS | $(kb_cell "$(value_of linux_rss_kb "$l")") |"
    echo "| Linux strip after 10 s: PSS | $(kb_cell "$(value_of linux_pss_kb "$l")") |"
    echo "| Linux strip after 10 s: private (USS) | $(kb_cell "$(value_of linux_uss_kb "$l")") |"
    if [ -n "$n" ]; then
      echo "| Long run (stored refresh 1 ms, which the timer raises to its 10 ms floor): refreshes | $(thousands "$n") counted (read calls / $(value_of soak_reads_per_refresh "$s") per refresh), at most $(thousands "$at_most") ($(value_of soak_seconds "$s") s / 10 ms) |"
      echo "| Long run: RSS, after 10 s → at the end | $(kb_cell "$(value_of soak_early_rss_kb "$s")") → $(kb_cell "$(value_of soak_rss_kb "$s")") |"
      echo "| Long run: PSS, after 10 s → at the end | $(kb_cell "$(value_of soak_early_pss_kb "$s")") → $(kb_cell "$(value_of soak_pss_kb "$s")") |"
      echo "| Long run: private (USS) at the end | $(kb_cell "$(value_of soak_uss_kb "$s")") |"
      echo "| Long run: CPU of the strip (utime + stime, start-up included) | $(thousands "$(value_of soak_cpu_ms "$s")") ms in $(value_of soak_seconds "$s") s, $(awk -v c="$(value_of soak_cpu_ms "$s")" -v n="$n" 'BEGIN {printf "%.0f", n ? c * 1000 / n : 0}') µs a refresh |"
    else
      echo "| Long run at the 10 ms floor | not measured |"
    fi
    for preset in windows-i686 windows-x64; do
      row="$preset kivo.exe size (Release, stripped)"
      echo "| $row | $(bytes_cell "$(value_of "${preset}_exe_bytes" "$w")")$(earlier "$row") |"
    done
    for preset in windows-i686 windows-x64; do
      row="$preset kivo.exe under Wine after 10 s: private bytes"
      echo "| $row | $(bytes_mib_cell "$(value_of "${preset}_private_bytes" "$w")")$(earlier "$row") |"
      echo "| $preset kivo.exe under Wine after 10 s: working set | $(bytes_mib_cell "$(value_of "${preset}_working_set" "$w")") |"
      echo "| $preset kivo.exe under Wine after 10 s: GDI objects | $(value_of "${preset}_gdi_objects" "$w" | sed 's/^$/not measured/') |"
    done
    echo
    echo "RSS and PSS from /proc/PID/smaps_rollup, each strip on a private Xvfb with a private HOME."
    echo "PSS shares each page among the processes that map it, so it falls as other programs"
    echo "using the same libraries (FLTK, Xlib, Xft, fontconfig, libc) run; no other strip runs"
    echo "while one is measured. RSS and PSS move apart by that alone: look to RSS for growth."
    echo "The long run counts its refreshes by the read calls they make"
    echo "(/proc/PID/io syscr, calibrated on a strip at the default period); the strip cannot beat"
    echo "one refresh per 10 ms, which bounds the count from above. Under Wine, the figures are"
    echo "Wine's own (GetProcessMemoryInfo of the process holding the \"Kivo\" window, read by"
    echo "tests/soak/process_probe run in the same prefix; Wine's pdh.dll)."
  } >"$dir/memory.md"

  local goals=$dir/memory-goals.tsv pss met
  : >"$goals"
  pss=$(value_of linux_pss_kb "$l")
  met=no
  [ -n "$pss" ] && [ "$pss" -le "$PSS_LIMIT_KB" ] && met=yes
  goal_line "Linux PSS after 10 s" "$(kb_cell "$pss")" "≤ 6 MiB" "$met" "$goals"
  pss=$(value_of soak_pss_kb "$s")
  met=no
  [ -n "$pss" ] && [ "$pss" -le "$PSS_LIMIT_KB" ] && met=yes
  goal_line "Linux PSS after $(thousands "${n:-0}") refreshes" "$(kb_cell "$pss")" "≤ 6 MiB" "$met" "$goals"
  local size
  size=$(value_of windows-i686_exe_bytes "$w")
  met=no
  [ -n "$size" ] && [ "$size" -le "$EXE_LIMIT_BYTES" ] && met=yes
  goal_line "i686 kivo.exe size" "$(bytes_cell "$size")" "≤ 300 KB (300,000 bytes)" "$met" "$goals"
}

# --- Entry -------------------------------------------------------------------------

on_xvfb() { "$root/tests/with_xvfb.sh" "$0" "$@"; }

case ${1:-} in
  linux)
    [ -x "$kivo" ] || fail "$kivo is missing: cmake --build --preset linux-release"
    mkdir -p "$2"
    rm -f "$2/memory-linux.txt"
    on_xvfb _linux "$2"
    ;;
  soak)
    [ -x "$kivo" ] || fail "$kivo is missing: cmake --build --preset linux-release"
    mkdir -p "$2"
    rm -f "$2/memory-soak.txt"
    on_xvfb _soak "$2" "${3:-30000}" "${4:-}"
    ;;
  windows)
    mkdir -p "$2"
    rm -f "$2/memory-windows.txt"
    windows_sizes "$2"
    on_xvfb _windows "$2" windows-i686
    on_xvfb _windows "$2" windows-x64
    ;;
  report) report "$2" ;;
  _linux) linux_on_display "$2" ;;
  _soak) soak_on_display "$2" "$3" "${4:-}" ;;
  _windows) windows_one_on_display "$2" "$3" ;;
  "" | -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' ; exit 2 ;;
  *)
    dir=$1
    status=0
    "$0" linux "$dir" || status=1
    "$0" windows "$dir" || status=1
    "$0" soak "$dir" "${2:-30000}" || status=1
    "$0" report "$dir"
    cat "$dir/memory.md"
    exit "$status"
    ;;
esac

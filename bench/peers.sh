#!/usr/bin/env bash
# The strip beside two other X monitors showing the same fields once a
# second: conky (bench/peers/conky.conf: date, RAM used, free space on /,
# network rates, battery, CPU load, in a small window of its own) and xosview
# (its cpu, mem, net and battery meters, each set to one update a second).
# Writes <dir>/peers.md and <dir>/peers-goals.tsv.
#
# Usage: bench/peers.sh <dir> [seconds]     (default 60; conky and xosview come
#                                             from scripts/install-deps.sh --bench)
#
# 1. Together: the three on one private Xvfb, default settings for the strip;
#    after 5 s to settle, each process's CPU (utime + stime from
#    /proc/PID/stat, and the scheduler's finer /proc/PID/schedstat) over
#    [seconds], and its PSS at the end. <dir>/peers-together.txt marks the end
#    of this part: bench/run.sh starts its other work then.
# 2. Alone: each program on an Xvfb of its own, and one Xvfb with no client,
#    all at once for the same [seconds]. The X server's CPU a program causes
#    is its server's CPU less the idle server's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
kivo=$root/build/linux-release/kivo
SETTLE_SECONDS=5
# shellcheck source=bench/proc_stats.sh
source "$here/proc_stats.sh"

fail() {
  echo "peers.sh: $*" >&2
  exit 1
}

# Starts program $1 on $DISPLAY with HOME $2, as a child of this shell (so
# that it can be waited for); its pid goes to started_pid.
start_program() {
  local home=$2
  case $1 in
    kivo) HOME=$home XDG_CONFIG_HOME=$home/config "$kivo" >"$home/kivo.log" 2>&1 & ;;
    conky) HOME=$home conky -q -c "$here/peers/conky.conf" >"$home/conky.log" 2>&1 & ;;
    # Below the other two. The server has no core fonts but "fixed".
    xosview)
      HOME=$home xosview -font fixed -geometry +0+60 +cpu +mem +net +battery \
        -load -swap -page -disk -int -gfx -wireless -irqrate -lmstemp -coretemp -acpitemp \
        -xrm 'xosview*cpuPriority: 10' -xrm 'xosview*memPriority: 10' \
        -xrm 'xosview*netPriority: 10' -xrm 'xosview*batteryPriority: 10' \
        >"$home/xosview.log" 2>&1 &
      ;;
    *) fail "no program $1" ;;
  esac
  started_pid=$!
}

# One scene on the private Xvfb tests/with_xvfb.sh made for it: programs $3...
# (none for an idle server) for $2 s after the settling time. Writes
# <dir>/peers-<scene>.txt: "name cpu_ms oncpu_ms pss_kb rss_kb uss_kb" for
# each program and "Xvfb cpu_ms oncpu_ms" for the server.
scene_on_display() {
  local dir=$1 seconds=$2 scene=$3 xvfb home program pid
  shift 3
  # with_xvfb.sh runs us as its child, beside its Xvfb.
  xvfb=$(pgrep -P "$PPID" -x Xvfb | head -1)
  [ -n "$xvfb" ] || fail "cannot find the Xvfb of $DISPLAY"
  home=$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench-peers.XXXXXX")
  local names=() pids=() ticks0=() ns0=()
  programs=()
  # On a failure too, nothing of ours stays behind on the server.
  trap 'kill "${programs[@]}" 2>/dev/null || true' EXIT
  for program in "$@"; do
    start_program "$program" "$home"
    programs+=("$started_pid")
    names+=("$program")
    pids+=("$started_pid")
  done
  names+=(Xvfb)
  pids+=("$xvfb")
  sleep "$SETTLE_SECONDS"
  local i
  for i in "${!pids[@]}"; do
    kill -0 "${pids[$i]}" 2>/dev/null ||
      fail "${names[$i]} ended at its start: $(cat "$home/${names[$i]}.log" 2>/dev/null)"
    ticks0+=("$(cpu_ticks "${pids[$i]}")")
    ns0+=("$(oncpu_ns "${pids[$i]}")")
  done
  sleep "$seconds"
  : >"$dir/peers-$scene.txt.tmp"
  for i in "${!pids[@]}"; do
    pid=${pids[$i]}
    kill -0 "$pid" 2>/dev/null || fail "${names[$i]} ended during the run: $(cat "$home/${names[$i]}.log" 2>/dev/null)"
    local cpu_ms oncpu
    cpu_ms=$(ticks_to_ms $(($(cpu_ticks "$pid") - ticks0[i])))
    oncpu=$(ns_to_ms $(($(oncpu_ns "$pid") - ns0[i])))
    if [ "${names[$i]}" = Xvfb ]; then
      echo "Xvfb $cpu_ms $oncpu" >>"$dir/peers-$scene.txt.tmp"
    else
      echo "${names[$i]} $cpu_ms $oncpu $(pss_kb "$pid") $(rss_kb "$pid") $(uss_kb "$pid")" >>"$dir/peers-$scene.txt.tmp"
    fi
  done
  for i in "${!pids[@]}"; do
    [ "${names[$i]}" = Xvfb ] || kill "${pids[$i]}" 2>/dev/null || true
  done
  # The strip writes its store file as it ends: only then can its HOME go.
  for i in "${!pids[@]}"; do
    [ "${names[$i]}" = Xvfb ] || wait "${pids[$i]}" 2>/dev/null || true
  done
  rm -rf "$home"
  mv "$dir/peers-$scene.txt.tmp" "$dir/peers-$scene.txt"
}

if [ "${1:-}" = _scene ]; then
  shift
  scene_on_display "$@"
  exit 0
fi

dir=${1:?usage: bench/peers.sh <dir> [seconds]}
seconds=${2:-60}
[ -x "$kivo" ] || fail "$kivo is missing: cmake --build --preset linux-release"
for tool in conky xosview pgrep; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh --bench as root)"
done
mkdir -p "$dir"
rm -f "$dir"/peers-*.txt "$dir/peers.md" "$dir/peers-goals.tsv"
scene() { "$root/tests/with_xvfb.sh" "$0" _scene "$dir" "$seconds" "$@"; }

echo "peers: the strip, conky and xosview together for $((SETTLE_SECONDS + seconds)) s"
scene together kivo conky xosview
echo "peers: each alone, and an idle X server, for $((SETTLE_SECONDS + seconds)) s"
status=0
pids=()
for program in kivo conky xosview; do
  scene "alone-$program" "$program" &
  pids+=($!)
done
scene idle &
pids+=($!)
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[ $status -eq 0 ] || fail "a run alone failed"

# --- The table ---------------------------------------------------------------------

field() { awk -v n="$1" -v c="$2" '$1 == n {print $c}' "$3"; }
idle_ns=$(field Xvfb 3 "$dir/peers-idle.txt")
together=$dir/peers-together.txt
label() {
  case $1 in
    kivo) echo "Kivo (build/linux-release/kivo, default settings)" ;;
    conky) echo "conky $(conky --version 2>/dev/null | awk 'NR == 1 {print $2}') (bench/peers/conky.conf)" ;;
    xosview) echo "xosview $(dpkg-query -W -f='${Version}' xosview 2>/dev/null) (cpu, mem, net, battery at 1 Hz)" ;;
  esac
}
{
  echo "### Beside conky and xosview ($seconds s, the same fields once a second)"
  echo
  echo "| Program | CPU, utime + stime | CPU, scheduler | PSS at the end | RSS | Private (USS) | X server CPU it causes |"
  echo "|---|---|---|---|---|---|---|"
  for program in kivo conky xosview; do
    server=$(awk -v a="$(field Xvfb 3 "$dir/peers-alone-$program.txt")" -v i="$idle_ns" 'BEGIN {printf "%.1f", a - i}')
    echo "| $(label "$program") | $(field "$program" 2 "$together") ms | $(field "$program" 3 "$together") ms |" \
      "$(mib "$(field "$program" 4 "$together")") | $(mib "$(field "$program" 5 "$together")") |" \
      "$(mib "$(field "$program" 6 "$together")") | $server ms |"
  done
  echo
  echo "All three ran together on one private Xvfb; the CPU columns cover $seconds s after $SETTLE_SECONDS s to settle"
  echo "(start-up left out), the memory columns are read at the end (/proc/PID/smaps_rollup; PSS"
  echo "splits the libraries the three share). That Xvfb used $(field Xvfb 2 "$together") ms ($(field Xvfb 3 "$together") ms by the"
  echo "scheduler). For the last column each program ran again alone on an Xvfb of its own, beside"
  echo "an Xvfb with no client, for the same $seconds s: its server's CPU (scheduler) less the idle"
  echo "server's ($idle_ns ms). utime + stime comes in clock ticks of $((1000 / CLOCK_TICKS_PER_SECOND)) ms, each charged whole to"
  echo "the process running when it fires: at these loads it is noise, so the goals go by the scheduler's"
  echo "own count (/proc/PID/schedstat, time on a CPU in ns)."
  echo "xosview has no date or free-space meter; conky and the strip show all six fields."
} >"$dir/peers.md"

# The CPU goals go by the scheduler's figures: at a few milliseconds a minute,
# utime + stime (charged a whole tick to whoever runs when the tick fires) is
# mostly noise.
{
  kivo_ms=$(field kivo 3 "$together")
  kivo_pss=$(field kivo 4 "$together")
  for peer in conky xosview; do
    peer_ms=$(field "$peer" 3 "$together")
    peer_pss=$(field "$peer" 4 "$together")
    met=$(awk -v k="$kivo_ms" -v p="$peer_ms" 'BEGIN {print (k + 0 < p + 0 ? "yes" : "no")}')
    printf 'Kivo CPU below %s'\''s (scheduler, %s s)\t%s ms\t< %s ms\t%s\n' "$peer" "$seconds" "$kivo_ms" "$peer_ms" "$met"
    met=no
    [ "$kivo_pss" -lt "$peer_pss" ] && met=yes
    printf 'Kivo PSS below %s'\''s\t%s\t< %s\t%s\n' "$peer" "$(mib "$kivo_pss")" "$(mib "$peer_pss")" "$met"
  done
} >"$dir/peers-goals.tsv"
cat "$dir/peers.md"

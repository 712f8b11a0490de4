#!/usr/bin/env bash
# What Kivo costs, in one page: bench/results.md, also printed. `make bench`
# builds the linux-release and both Windows presets first, then runs this.
#
# The raw results go to build/bench/: refresh.md from bench/refresh.sh (one
# refresh, stage by stage), startup.md (bench/startup.sh), memory.md
# (bench/memory.sh), peers.md (bench/peers.sh), and every part's goals as
# <part>-goals.tsv lines "goal<TAB>measured<TAB>limit<TAB>yes|no".
#
# Order matters for the memory figures: PSS splits each shared page among
# the processes that map it, so a strip's PSS is read only while no other
# strip of ours runs. The long run at the 10 ms floor (SOAK_REFRESHES,
# default 30000) therefore starts once the PSS readings of the others are
# done, runs beside the measurements of CPU and instructions, and is read last.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
out=$root/build/bench
results=$root/bench/results.md
soak_refreshes=${SOAK_REFRESHES:-30000}
started=$SECONDS

mkdir -p "$out"
rm -f "$out"/*.md "$out"/*.tsv "$out"/*.txt "$out"/*.log "$out/soak.until"

failed=()
note() { echo "bench: $* ($((SECONDS - started)) s)"; }
# run NAME command...: the command's output goes to build/bench/NAME.log.
run() {
  local name=$1
  shift
  if "$@" >"$out/$name.log" 2>&1; then
    return 0
  fi
  failed+=("$name")
  echo "bench: $name failed; the end of build/bench/$name.log:" >&2
  tail -n 15 "$out/$name.log" >&2
  return 1
}
finish_background() {
  local name=$1 pid=$2
  wait "$pid" && return 0
  failed+=("$name")
  echo "bench: $name failed; the end of build/bench/$name.log:" >&2
  tail -n 15 "$out/$name.log" >&2
}

note "memory of the strip at the default period (10 s)"
run memory-linux bench/memory.sh linux "$out"

note "beside conky and xosview (about 2 minutes)"
bench/peers.sh "$out" >"$out/peers.log" 2>&1 &
peers_pid=$!
# Their memory is read at the end of the first part; the rest may run beside
# the second, which measures CPU only.
while [ ! -f "$out/peers-together.txt" ] && kill -0 "$peers_pid" 2>/dev/null; do sleep 1; done

note "long run at the 10 ms floor, to at least $soak_refreshes refreshes"
bench/memory.sh soak "$out" "$soak_refreshes" "$out/soak.until" >"$out/memory-soak.log" 2>&1 &
soak_pid=$!

if [ -x bench/refresh.sh ]; then
  note "one refresh, stage by stage (bench/refresh.sh)"
  run refresh bench/refresh.sh "$out"
else
  note "no bench/refresh.sh: the refresh is not measured"
fi

note "start-up to the first frame"
run startup bench/startup.sh "$out"

note "the Windows exes under Wine"
run memory-windows bench/memory.sh windows "$out"

finish_background peers "$peers_pid"
# After the peers' CPU figures: strace's stops cost CPU of their own.
note "system calls and wake-ups per refresh, beside conky and xosview (about 2 minutes)"
run syscalls bench/syscalls.sh "$out"
note "waiting for the long run"
touch "$out/soak.until"
finish_background memory-soak "$soak_pid"
bench/memory.sh report "$out"

# --- The page ---------------------------------------------------------------------

commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
# The page itself does not count as a change to the tree it describes.
if [ -n "$(git --no-optional-locks status --porcelain -- . ':(exclude)bench/results.md' 2>/dev/null)" ]; then
  commit="$commit (dirty: uncommitted changes)"
fi
cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
ram=$(awk '/^MemTotal:/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
xserver=$(dpkg-query -W -f='${Version}' xvfb 2>/dev/null)
wine_version=$(wine --version 2>/dev/null || echo "not installed")

# Goals a part could not measure still get their row.
fallback_goals() {
  case $1 in
    refresh)
      printf 'Refresh / floor ratio\tnot measured\t≤ 3\tno\n'
      printf 'Heap allocations per refresh\tnot measured\t0\tno\n'
      ;;
    memory)
      printf 'Linux PSS\tnot measured\t≤ 6 MiB\tno\n'
      printf 'i686 kivo.exe size\tnot measured\t≤ 300 KB (300,000 bytes)\tno\n'
      ;;
    peers)
      for peer in conky xosview; do
        printf "Kivo CPU below %s's\tnot measured\t\tno\n" "$peer"
        printf "Kivo PSS below %s's\tnot measured\t\tno\n" "$peer"
      done
      ;;
  esac
}
goals_table() {
  local part file
  echo "| Goal | Measured | Limit | Met |"
  echo "|---|---|---|---|"
  {
    for part in refresh memory peers; do
      if [ -s "$out/$part-goals.tsv" ]; then cat "$out/$part-goals.tsv"; else fallback_goals "$part"; fi
    done
    for file in "$out"/*-goals.tsv; do
      [ -e "$file" ] || continue
      part=$(basename "$file" -goals.tsv)
      case $part in refresh | memory | peers) ;; *) cat "$file" ;; esac
    done
  } | awk -F'\t' 'NF >= 4 {
      met = $4 == "yes" ? "met" : ($2 == "not measured" ? "not measured" : "**not met**")
      printf "| %s | %s | %s | %s |\n", $1, $2, $3, met
    }'
}
section() {
  if [ -s "$out/$1" ]; then
    # A fragment that brings no heading of its own gets one.
    head -n 1 "$out/$1" | grep -q '^#' || printf '### %s\n\n' "$2"
    cat "$out/$1"
  else
    printf '### %s\n\nnot measured (see build/bench/%s.log)\n' "$2" "$3"
  fi
  echo
}

{
  echo "# What Kivo costs"
  echo
  echo "Made by \`make bench\` (bench/run.sh) on $(date -u '+%Y-%m-%d %H:%M UTC'), commit $commit."
  echo
  echo "| Machine | |"
  echo "|---|---|"
  echo "| CPU | ${cpu:-unknown}, $(nproc) cores online |"
  echo "| RAM | $ram |"
  echo "| Kernel | $(uname -sr) |"
  echo "| Debian | $(cat /etc/debian_version 2>/dev/null || echo unknown) |"
  echo "| X server | Xvfb ${xserver:-(version unknown)}, no window manager |"
  echo "| Wine | $wine_version |"
  echo "| Compilers | $(g++ --version | head -1); $(i686-w64-mingw32-g++ --version 2>/dev/null | head -1) |"
  echo
  section refresh.md "One refresh" refresh
  section startup.md "Start-up" startup
  section memory.md "Memory" memory-linux
  section peers.md "Beside conky and xosview" peers
  section syscalls.md "System calls and wake-ups" syscalls
  echo "### Goals"
  echo
  goals_table
  echo
  echo "### How to refresh these numbers"
  echo
  echo "Run \`make bench\` (it installs conky and xosview through \`scripts/install-deps.sh --bench\`,"
  echo "builds the linux-release, windows-i686 and windows-x64 presets and runs bench/run.sh, which"
  echo "took $((SECONDS - started)) s this time); it rewrites this page and leaves the raw results and logs in build/bench/."
  echo "\`make bench SOAK_REFRESHES=100000\` makes the long run longer (at 10 ms a refresh, 100,000"
  echo "take 17 minutes). Instruction counts under callgrind repeat from run to run; CPU times,"
  echo "start-up times and the X server's share vary with the machine's load, and PSS with the other"
  echo "programs that map the same libraries, so compare them only between runs on a quiet machine."
  echo "Each part also runs alone: \`bench/refresh.sh DIR\`, \`bench/startup.sh DIR\`,"
  echo "\`bench/memory.sh DIR\`, \`bench/peers.sh DIR [seconds]\`, \`bench/syscalls.sh DIR [seconds]\`."
} >"$results"

cat "$results"
note "done in $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "bench: not measured because these parts failed: ${failed[*]}" >&2
  exit 1
fi

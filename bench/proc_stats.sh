# shellcheck shell=bash
# What the benchmark scripts read about a running process from /proc. Sourced.

# Proportional set size in kB: each shared page counts divided by the number
# of processes that map it, so it depends on what else runs beside.
pss_kb() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
rss_kb() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup"; }
# Pages no other process maps: what ending the process would give back.
uss_kb() { awk '/^Private_(Clean|Dirty):/ {n += $2} END {print n + 0}' "/proc/$1/smaps_rollup"; }

# utime + stime in clock ticks. The command name (field 2) may hold spaces,
# so fields are counted from the ") " that ends it.
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
# Time on a CPU in ns, as the scheduler counts it: finer than the ticks.
oncpu_ns() { awk '{print $1}' "/proc/$1/schedstat"; }
# Read system calls (read, readv, pread) so far.
read_calls() { awk '/^syscr:/ {print $2}' "/proc/$1/io"; }

CLOCK_TICKS_PER_SECOND=$(getconf CLK_TCK)
ticks_to_ms() { echo $(($1 * 1000 / CLOCK_TICKS_PER_SECOND)); }

# kB -> "5.52 MiB"
mib() { awk -v k="$1" 'BEGIN {printf "%.2f MiB", k / 1024}'; }
# 1234567 -> 1,234,567
thousands() { echo "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
# ns -> ms with one decimal
ns_to_ms() { awk -v n="$1" 'BEGIN {printf "%.1f", n / 1e6}'; }

# Reads key=value lines: value_of key file (empty when missing).
value_of() { [ -f "$2" ] && sed -n "s/^$1=//p" "$2" | tail -n 1; true; }

# Waits up to $2 s for a visible window named $1 on $DISPLAY; prints its id.
wait_for_named_window() {
  local id
  for _ in $(seq $(($2 * 20))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# Writes the store file at $1 (regedit export format, CRLF) holding the
# dword values given as name=decimal pairs after it.
write_store() {
  local file=$1 pair
  shift
  mkdir -p "$(dirname "$file")"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0]\r\n'
    for pair in "$@"; do
      printf '"%s"=dword:%08x\r\n' "${pair%%=*}" "${pair#*=}"
    done
  } >"$file"
}

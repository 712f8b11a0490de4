# shellcheck shell=bash disable=SC2154 # the sourcing script sets what the top says
# What the Linux and the Wine soak share: their options, the count of
# refreshes, the table of what was measured and the run itself. Sourced, not
# run. The platform's script provides:
#   start_kivo PERIOD VIEW   starts the strip on a private store, as $kivo_pid
#   wait_until_started       waits for the strip; sets exe_pid, the Linux
#                            process whose read calls count its refreshes
#   end_calibration_run      ends the strip of a calibration run
#   quit_kivo                Quit from the menu, and a wait for exit code 0
#   read_counts              prints "name=value ..." of what is measured now
#   wait_for_view, switch_view, toggle_frame, choose_font, after_fonts
#   soak_argument ARGS...    takes an argument the shared options do not,
#                            setting arguments_taken when it took more than one
# and sets table_columns ("header:field:width" after phase and refreshes),
# flat_counts (fields that may not change), memory_field, memory_unit_kb
# (what makes it KiB), memory_name, memory_slack_kb, soak_title (what the
# calibration step names first), soak_name and growth_rule (what a growth
# breaks).

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

# Reads the options of both soaks into refreshes, toggles and fonts.
soak_options() {
  while [ $# -gt 0 ]; do
    arguments_taken=1
    case $1 in
      --full) refreshes=100000 toggles=1000 fonts=1000 ;;
      --refreshes) refreshes=$2 arguments_taken=2 ;;
      --toggles) toggles=$2 arguments_taken=2 ;;
      --fonts) fonts=$2 arguments_taken=2 ;;
      *) soak_argument "$@" ;;
    esac
    shift "$arguments_taken"
  done
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
read_syscalls() { awk '/^syscr:/ {print $2}' "/proc/$exe_pid/io"; }

# The program has no counter of its refreshes, and gets none for this: each
# refresh makes the same number of read calls (the same /proc and /sys files
# on Linux; under Wine the /proc reads behind GlobalMemoryStatusEx and the
# replies of the Wine server), and an idle strip reads nothing else, so the
# read calls the kernel counts for its process (/proc/PID/io syscr) divided
# by the reads of one refresh give the refreshes. The reads of one refresh
# are measured per view in a run at a period slow enough for every tick to
# come on time (50 ms; the timer keeps its cadence), as reads over elapsed
# periods. The timer never fires faster than every 10 ms, on Windows, under
# Wine and on Linux, so the soak's 1 ms period gives at most 100 refreshes
# a second.
CALIBRATION_PERIOD_MS=50
# Sets reads_per_refresh for view $1, in hundredths of a read call.
calibrate() {
  local view=$1 before after begun elapsed
  start_kivo $CALIBRATION_PERIOD_MS "$view"
  wait_until_started
  sleep 1
  before=$(read_syscalls) begun=$(now_ms)
  sleep 3
  after=$(read_syscalls) elapsed=$(($(now_ms) - begun))
  end_calibration_run
  reads_per_refresh=$(((after - before) * 100 * CALIBRATION_PERIOD_MS / elapsed))
  # A refresh makes a whole number of read calls; the window's edges cut a
  # tick more or less into the measure, which rounding takes out.
  [ "$reads_per_refresh" -lt 50 ] || reads_per_refresh=$(((reads_per_refresh + 50) / 100 * 100))
}

# Lets the strip refresh until the read calls since this call make $1
# refreshes at $2 hundredths of a read per refresh; adds them to
# refreshes_done. A tick takes at least 10 ms, so twice that plus a minute
# is more than a working strip needs.
refreshes_done=0
run_refreshes() {
  local want=$1 per=$2 start now done=0 limit
  start=$(read_syscalls)
  limit=$((SECONDS + want / 50 + 60))
  while [ "$done" -lt "$want" ]; do
    fail_if_ended "while refreshing"
    [ "$SECONDS" -lt "$limit" ] || fail "only $done of $want refreshes within $((want / 50 + 60)) s"
    sleep 0.5
    now=$(read_syscalls)
    done=$(((now - start) * 100 / per))
  done
  refreshes_done=$((refreshes_done + done))
}

# --- what is measured ------------------------------------------------------------

declare -a rows=()
warm=""
# One row: label, refreshes so far, then what read_counts says.
measure() {
  local label=$1 counts row
  counts=$(read_counts) || exit 1
  row="$label refreshes=$refreshes_done $counts"
  rows+=("$row")
  [ "$label" = warm-up ] && warm=$row
  print_row "$row"
}

field() { sed -n "s/.* $2=\([0-9]*\).*/\1/p" <<<"$1"; }

table_header() {
  local column head width
  printf '%-10s %9s' phase refreshes
  for column in "${table_columns[@]}"; do
    IFS=: read -r head _ width <<<"$column"
    printf " %${width}s" "$head"
  done
  echo
}
print_row() {
  local r=$1 column name width
  printf '%-10s %9s' "${r%% *}" "$(field "$r" refreshes)"
  for column in "${table_columns[@]}"; do
    IFS=: read -r _ name width <<<"$column"
    printf " %${width}s" "$(field "$r" "$name")"
  done
  echo
}

growth=()
# Compares the last row with the warm-up one.
check_flat() {
  local r=${rows[-1]} name grown
  for name in "${flat_counts[@]}"; do
    if [ "$(field "$r" "$name")" != "$(field "$warm" "$name")" ]; then
      growth+=("${r%% *}: $name $(field "$warm" "$name") -> $(field "$r" "$name")")
    fi
  done
  grown=$((($(field "$r" "$memory_field") - $(field "$warm" "$memory_field")) / memory_unit_kb))
  if [ "$grown" -gt "$memory_slack_kb" ]; then
    growth+=("${r%% *}: $memory_name grew by $grown KiB (slack $memory_slack_kb KiB)")
  fi
}

# --- the run -----------------------------------------------------------------------

soak_run() {
  local per_text per_bars row
  step "${soak_title}reads per refresh, at a $CALIBRATION_PERIOD_MS ms period"
  calibrate 0
  per_text=$reads_per_refresh
  calibrate 1
  per_bars=$reads_per_refresh
  if [ "$per_text" -le 0 ] || [ "$per_bars" -le 0 ]; then
    fail "no reads per refresh measured ($per_text, $per_bars)"
  fi
  echo "text view: $((per_text / 100)).$(printf %02d $((per_text % 100))) reads per refresh;" \
    "bar view: $((per_bars / 100)).$(printf %02d $((per_bars % 100)))"

  step "soak: refresh 1 ms; $refreshes refreshes per view, $toggles frame toggles, $fonts font choices"
  start_kivo 1 0
  wait_until_started
  wait_for_view 0
  table_header
  measure start

  # Everything once before the baseline: the first dialog, menu, font and
  # view of a run load code, fill caches and (under Wine) allocate objects
  # that stay for the life of the process.
  run_refreshes 200 "$per_text"
  toggle_frame
  toggle_frame
  choose_font
  choose_font
  switch_view 1
  switch_view 0
  run_refreshes 200 "$per_text"
  measure warm-up

  run_refreshes "$refreshes" "$per_text"
  measure text
  check_flat

  switch_view 1
  run_refreshes "$refreshes" "$per_bars"
  measure bars
  check_flat

  switch_view 0
  for _ in $(seq "$toggles"); do toggle_frame; done
  measure toggles
  check_flat

  for _ in $(seq "$fonts"); do choose_font; done
  after_fonts
  measure fonts
  check_flat

  quit_kivo

  echo
  echo "$soak_name, $((SECONDS - started)) s: about $refreshes_done refreshes, $toggles frame toggles, $fonts font choices"
  table_header
  for row in "${rows[@]}"; do print_row "$row"; done
  if [ ${#growth[@]} -gt 0 ]; then
    printf 'grew: %s\n' "${growth[@]}" >&2
    fail "$growth_rule"
  fi
  echo "PASS: flat"
}

# shellcheck shell=bash disable=SC2154 # the sourcing script sets what the top says
# Watching the program a test or soak started in the background as $kivo_pid,
# and ending it with the script. Sourced, not run: the caller provides fail
# and sets kivo_name (what the messages call the program) and close_wait_s
# (how long it may take to end once asked to close: Wine needs longer), and
# may define kivo_output, after this, to add the program's own output to a
# failure.

kivo_output() { :; }

# Has whatever ends the script end the program too, when it still runs, and
# remove $1, the run's file or folder; with $2 not empty a failed run's is
# kept instead, for a closer look. The exit code stays the script's; an
# interrupt or a termination ends it with 130, after the same clean-up.
end_run_on_exit() {
  kivo_run_files=$1 kivo_keep_failed_run=${2:-}
  kivo_pid=""
  trap exit_run EXIT
  trap 'exit 130' INT TERM
}
# shellcheck disable=SC2317 # run by the trap
exit_run() {
  local status=$?
  if [ -n "$kivo_pid" ] && kill -0 "$kivo_pid" 2>/dev/null; then kill -KILL "$kivo_pid" 2>/dev/null || true; fi
  if [ $status -ne 0 ] && [ -n "$kivo_keep_failed_run" ]; then
    echo "kept $kivo_run_files"
  else
    rm -rf "$kivo_run_files"
  fi
  exit "$status"
}

# Fails with $1 and the exit code when the program has ended.
fail_if_ended() {
  local status=0
  kill -0 "$kivo_pid" 2>/dev/null && return 0
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  fail "$kivo_name ended with exit code $status $1$(kivo_output)"
}

# Waits for the program, once asked to close, to end; sets kivo_status to
# its exit code.
wait_for_exit() {
  kivo_status=0
  for _ in $(seq $((close_wait_s * 10))); do
    kill -0 "$kivo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$kivo_pid" 2>/dev/null && fail "$kivo_name still running $close_wait_s s after it was asked to close"
  wait "$kivo_pid" || kivo_status=$?
  kivo_pid=""
}

# Waits for the program to end and checks that its exit code is $1.
expect_exit() {
  wait_for_exit
  [ "$kivo_status" -eq "$1" ] || fail "$kivo_name exited with $kivo_status, expected $1$(kivo_output)"
}

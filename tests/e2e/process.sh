# shellcheck shell=bash disable=SC2154 # the sourcing script sets what the top says
# Watching the program a test or soak started in the background as $kivo_pid.
# Sourced, not run: the caller provides fail and sets kivo_name (what the
# messages call the program) and close_wait_s (how long it may take to end
# once asked to close: Wine needs longer), and may define kivo_output, after
# this, to add the program's own output to a failure.

kivo_output() { :; }

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

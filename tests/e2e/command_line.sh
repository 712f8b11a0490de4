#!/usr/bin/env bash
# The Linux program's command line: --help and --version answer on stdout and
# exit 0, anything else is refused on stderr with exit 2, all without an X
# display (DISPLAY is unset, so a run that went on to open one would fail).
# The version must be the one the Windows exes carry in their version resource.
#
# Usage: command_line.sh KIVO RESOURCE_TABLES
set -uo pipefail
exe=$1 tables=$2

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-command-line.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A user's settings must not change because of a question.
export XDG_CONFIG_HOME=$work/config

# run NAME ARGS...: the exit code in $code, the output in $work/NAME.out and .err
run() {
  local name=$1
  shift
  env -u DISPLAY "$exe" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null
  code=$?
}
expect_code() {
  [ "$code" -eq "$2" ] || fail "$1: exit code $code, expected $2 (stderr: $(head -c 300 "$work/$1.err"))"
}
expect_empty() {
  [ ! -s "$work/$1" ] || fail "$1 is not empty: $(head -c 300 "$work/$1")"
}

# "2, 0, 0, 1" in the version resource reads 2.0.0.1 here.
product=$(sed -n 's/^ *value ProductVersion "\(.*\)"$/\1/p' "$tables" | sed 's/, /./g')
[ -n "$product" ] || fail "no ProductVersion in $tables"

run version --version
expect_code version 0
[ "$(cat "$work/version.out")" = "kivo $product" ] ||
  fail "--version printed '$(cat "$work/version.out")', expected 'kivo $product'"
[ "$(wc -l <"$work/version.out")" -eq 1 ] || fail "--version printed more than one line"
expect_empty version.err

run help --help
expect_code help 0
grep -q '^Usage: kivo \[--help | --version\]$' "$work/help.out" || fail "--help shows no usage line"
grep -q -- '--version' "$work/help.out" || fail "--help does not mention --version"
expect_empty help.err

usage=$(cat "$work/help.out")
refused() {
  local name=$1 unexpected=$2
  shift 2
  run "$name" "$@"
  expect_code "$name" 2
  expect_empty "$name.out"
  [ "$(head -n 1 "$work/$name.err")" = "kivo: unexpected argument '$unexpected'" ] ||
    fail "$name: first line of stderr is '$(head -n 1 "$work/$name.err")'"
  [ "$(tail -n +2 "$work/$name.err")" = "$usage" ] || fail "$name: stderr does not end with the usage text"
}
refused unknown --verbose --verbose
refused short-help -h -h
refused plain-word strip strip
refused empty-argument "" ""
refused two-options --help --version --help
refused help-with-more extra --help extra

# No argument still means the strip: here, with no display, its one-line refusal.
run none
expect_code none 1
grep -q 'no X display' "$work/none.err" || fail "without arguments: stderr '$(cat "$work/none.err")'"
expect_empty none.out

[ -e "$XDG_CONFIG_HOME" ] && fail "a settings folder was made: $(find "$XDG_CONFIG_HOME")"
[ $status -eq 0 ] && echo "--help, --version and wrong arguments answer as expected (version $product)"
exit $status

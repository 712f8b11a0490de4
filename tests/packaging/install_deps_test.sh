#!/usr/bin/env bash
# scripts/install-deps.sh against stand-ins for id, dpkg, dpkg-query, sudo and
# apt-get that only log their calls: an ordinary user goes through sudo, and
# only for apt and only when something is missing; root never needs sudo; a
# user without sudo is told what to do.
#
# Usage: install_deps_test.sh
set -euo pipefail

script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

stubs=$work/bin
mkdir "$stubs"
for tool in grep env cat; do ln -s "$(command -v "$tool")" "$stubs/$tool"; done
stub() {
  printf '#!%s\n%s\n' "$BASH" "$2" >"$stubs/$1"
  chmod +x "$stubs/$1"
}
stub id 'echo "$KIVO_TEST_UID"'
stub dpkg 'echo "dpkg $*" >>"$KIVO_TEST_LOG"; [ "$1" != --print-foreign-architectures ] || echo i386'
stub dpkg-query 'case " $KIVO_TEST_MISSING " in *" ${*: -1} "*) exit 1 ;; esac; echo "install ok installed"'
stub apt-get 'echo "apt-get $*" >>"$KIVO_TEST_LOG"'
stub sudo 'echo "sudo $*" >>"$KIVO_TEST_LOG"; exec "$@"'

# Runs the script as user UID with MISSING packages, sudo present or not.
run() {
  local uid=$1 missing=$2 with_sudo=$3
  : >"$work/log"
  [ "$with_sudo" = yes ] || mv "$stubs/sudo" "$work/sudo.away"
  code=0
  env -i PATH="$stubs" KIVO_TEST_UID="$uid" KIVO_TEST_MISSING="$missing" KIVO_TEST_LOG="$work/log" \
    "$BASH" "$script" >"$work/out" 2>&1 || code=$?
  [ "$with_sudo" = yes ] || mv "$work/sudo.away" "$stubs/sudo"
  calls=$(cat "$work/log")
}

run 1000 "" yes
[ $code -eq 0 ] || fail "a user with everything installed: exit $code: $(cat "$work/out")"
[ -z "$calls" ] || fail "a user with everything installed: unexpected calls: $calls"

run 1000 "lintian wine32:i386" yes
[ $code -eq 0 ] || fail "a user with packages missing: exit $code: $(cat "$work/out")"
grep -q '^sudo apt-get update' <<<"$calls" || fail "a user: apt-get update without sudo: $calls"
install=$(grep '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install ' <<<"$calls" || true)
[[ $install == *" lintian"* && $install == *" wine32:i386"* ]] ||
  fail "a user: the missing packages not installed through sudo: $calls"
[ "$(grep -c '^apt-get' <<<"$calls")" -eq "$(grep -c '^sudo.* apt-get' <<<"$calls")" ] ||
  fail "a user: apt-get run without sudo: $calls"

run 0 lintian yes
[ $code -eq 0 ] || fail "root with a package missing: exit $code: $(cat "$work/out")"
grep -q '^sudo' <<<"$calls" && fail "root went through sudo: $calls"
grep -q '^apt-get install .* lintian$' <<<"$calls" || fail "root: lintian not installed: $calls"

run 1000 lintian no
[ $code -eq 1 ] || fail "a user without sudo: exit $code, expected 1"
grep -q 'Missing packages: lintian' "$work/out" || fail "a user without sudo: not told what is missing: $(cat "$work/out")"
[ -z "$calls" ] || fail "a user without sudo: unexpected calls: $calls"

[ $status -eq 0 ] && echo "install-deps.sh: sudo only for apt, only when not root and only when something is missing"
exit $status

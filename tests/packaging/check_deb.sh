#!/usr/bin/env bash
# The .deb as `make package` makes it, checked the way Debian would: lintian
# with no error or warning tags, a program built hardened, a manual page man
# reads without warnings, a machine-readable copyright that names FLTK's
# licence, a changelog for this version, and the same bytes when made twice.
#
# Usage: check_deb.sh   (from anywhere in the checkout; builds linux-release)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
for tool in lintian man readelf dpkg-deb cpack; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (run scripts/install-deps.sh)"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

packaging/make-packages.sh --deb >"$work/first.log" 2>&1 ||
  { cat "$work/first.log"; echo "FAIL: make-packages.sh --deb"; exit 1; }
deb=$(tail -n 1 "$work/first.log")
cp "$deb" "$work/first.deb"
packaging/make-packages.sh --deb >"$work/second.log" 2>&1 ||
  { cat "$work/second.log"; echo "FAIL: make-packages.sh --deb, made again"; exit 1; }
if cmp -s "$deb" "$work/first.deb"; then
  echo "made twice, byte for byte the same: $deb ($(stat -c %s "$deb") bytes)"
else
  fail "$deb differs when made twice from one commit"
fi

# Errors and warnings fail; the pedantic and informational tags are shown.
# lintian asks not to be run as root but works; CI runs everything as root.
lintian -EvI --pedantic --color never "$deb" >"$work/lintian.log" 2>&1 || true
sed 's/^/  lintian: /' "$work/lintian.log"
if grep -qE '^[EW]: ' "$work/lintian.log"; then
  fail "lintian reports errors or warnings"
fi

dpkg-deb -x "$deb" "$work/tree"
kivo=$work/tree/usr/bin/kivo
# Whole outputs in variables: grep -q leaving a pipe early would fail it.
dynamic=$(readelf -d "$kivo") segments=$(readelf -lW "$kivo") symbols=$(readelf --dyn-syms -W "$kivo")
grep -q 'BIND_NOW' <<<"$dynamic" || fail "usr/bin/kivo is not linked with -z now"
grep -q 'GNU_RELRO' <<<"$segments" || fail "usr/bin/kivo has no RELRO segment"
for symbol in __stack_chk_fail __snprintf_chk; do
  grep -q " $symbol@" <<<"$symbols" ||
    fail "usr/bin/kivo calls no $symbol (built without the stack protector or _FORTIFY_SOURCE)"
done

page=$work/tree/usr/share/man/man1/kivo.1.gz
if [ -f "$page" ]; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt")
  [ -z "$warnings" ] || fail "man --warnings on kivo.1: $warnings"
  for heading in NAME SYNOPSIS OPTIONS 'THE FIELDS' 'MOUSE AND MENU' FILES 'START AT LOGIN' \
    SIGNALS 'EXIT STATUS'; do
    grep -qx "$heading" "$work/page.txt" || fail "kivo.1 has no section $heading"
  done
else
  fail "no usr/share/man/man1/kivo.1.gz"
fi

copyright=$work/tree/usr/share/doc/kivo/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"
grep -q '^License: Expat$' "$copyright" || fail "the copyright file names no Expat (MIT) licence"
grep -q 'FLTK License' "$copyright" || fail "the copyright file does not name FLTK's licence"

version=$(dpkg-deb --field "$deb" Version)
changes=$(zcat "$work/tree/usr/share/doc/kivo/changelog.Debian.gz" | head -n 1)
[[ $changes == "kivo ($version) "* ]] || fail "the changelog starts '$changes', the package is $version"
maintainer=$(dpkg-deb --field "$deb" Maintainer)
[[ $maintainer != *localhost* ]] || fail "Maintainer: $maintainer"

[ $status -eq 0 ] && echo "PASS: $(basename "$deb"), version $version, maintainer $maintainer"
exit $status

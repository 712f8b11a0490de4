#!/usr/bin/env bash
# The layering check on a small tree that breaks each of its rules once: it
# must name every breach, or a rule could stop working unnoticed.
# Usage: check_layering_test.sh CHECKER CXX
set -euo pipefail
checker=$1
cxx=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

put() {
  mkdir -p "$tree/$(dirname "$1")"
  printf '%s\n' "$2" >"$tree/$1"
}
# Settings reaching up into the program by an include.
put settings/settings.h '#include "app/app_state.h"'
# Text reaching up by declaring a window function itself, with no include.
put platform/linux/text/ansi_text.cpp 'void showWindow(); void toUtf8() { showWindow(); }'
put platform/linux/windows/windows.cpp 'void showWindow() {}'
# A new folder that no row of the table places.
put platform/linux/gadgets/gadget.h '#pragma once'
# Three files of one folder calling round in a circle.
put platform/linux/x11/a.cpp 'void b(); void a() { b(); }'
put platform/linux/x11/b.cpp 'void c(); void b() { c(); }'
put platform/linux/x11/c.cpp 'void a(); void c() { a(); }'

objects=""
for source in platform/linux/text/ansi_text.cpp platform/linux/windows/windows.cpp \
  platform/linux/x11/{a,b,c}.cpp; do
  object="$tree/build/fixture.dir/${source#platform/linux/}.o"
  mkdir -p "$(dirname "$object")"
  "$cxx" -c "$tree/$source" -o "$object"
  objects+="$object;"
done

status=0
found=$(python3 "$checker" "$tree" --objects platform/linux "$objects") || status=$?
echo "$found"
expect() {
  grep -qF "$1" <<<"$found" || { echo "not caught: $1"; exit 1; }
}
[ "$status" -eq 1 ] || { echo "the check passed a tree that breaks it"; exit 1; }
expect 'include: settings/settings.h includes app/app_state.h'
expect 'call: platform/linux/text/ansi_text.cpp calls showWindow() in platform/linux/windows/windows.cpp'
expect 'folder: platform/linux/gadgets/ is not in the layering table'
expect 'circle: 3 files of platform/linux/ call each other'
echo "every breach caught"

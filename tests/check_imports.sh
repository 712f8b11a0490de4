#!/usr/bin/env bash
# A Windows exe must run on a bare system: every DLL it imports must be one
# that Windows itself ships, never a compiler runtime left beside it.
set -euo pipefail
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|COMDLG32|pdh|msvcrt)\.dll$'
status=0
for exe in "$@"; do
  if [ ! -f "$exe" ]; then
    echo "missing: $exe (build the Windows presets first)"
    status=1
    continue
  fi
  imports=$(objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  echo "$exe imports: $(echo $imports)"
  while read -r dll; do
    if ! echo "$dll" | grep -qiE "$allowed"; then
      echo "  not a system DLL: $dll"
      status=1
    fi
  done <<<"$imports"
done
exit $status

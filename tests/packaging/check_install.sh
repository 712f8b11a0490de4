#!/usr/bin/env bash
# What `cmake --install` (and so the .deb) puts on a system: the program, its
# desktop entry, the icon in five sizes and as SVG, the manual page, the
# licence and changelog as Debian keeps them, and nothing of the tests or
# benchmarks built beside them. Installs into a temp prefix.
#
# Usage: check_install.sh CMAKE BUILD_DIR KIVO
set -euo pipefail
cmake=$1 build=$2 kivo=$3

command -v desktop-file-validate >/dev/null ||
  { echo "desktop-file-validate is not installed (run scripts/install-deps.sh as root)"; exit 1; }
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kivo-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(printf '%s\n' bin/kivo share/applications/kivo.desktop \
  share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/kivo.png \
  share/icons/hicolor/scalable/apps/kivo.svg share/man/man1/kivo.1.gz \
  share/doc/kivo/{copyright,changelog.Debian.gz} share/lintian/overrides/kivo | sort)
[ "$installed" = "$expected" ] || fail "installed files:
$installed
expected:
$expected"

if [ ! -x "$prefix/bin/kivo" ] || ! cmp -s "$prefix/bin/kivo" "$kivo"; then
  fail "bin/kivo is not the built program"
fi

desktop=$prefix/share/applications/kivo.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "kivo.desktop does not validate"
  # The menu runs Exec through PATH and finds Icon in the theme by name: both
  # must be the names installed above.
  # Copied to ~/.config/autostart, it waits for the session's panel.
  for line in Type=Application Name=Kivo Exec=kivo Icon=kivo Terminal=false \
    X-GNOME-Autostart-Delay=2; do
    grep -qx "$line" "$desktop" || fail "kivo.desktop has no line $line"
  done
fi

for size in 16 32 48 64 128; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/kivo.png
  [ -f "$png" ] || continue
  # The PNG signature, then the IHDR chunk whose first fields are the size.
  hex=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  if [ "${hex:0:16}" != 89504e470d0a1a0a ] || [ ${#hex} -ne 48 ]; then
    fail "$png is not a PNG"
    continue
  fi
  width=$((16#${hex:32:8})) height=$((16#${hex:40:8}))
  [ "$width x $height" = "$size x $size" ] || fail "$png is $width x $height, expected $size x $size"
done

[ $status -eq 0 ] && echo "installed as expected: $(echo "$installed" | paste -sd' ')"
exit $status

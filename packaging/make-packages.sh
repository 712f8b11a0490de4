#!/usr/bin/env bash
# Builds the two downloads into build/packages/: the .deb from the release
# build (CPack, with Depends computed by dpkg-shlibdeps) and the Windows zip of
# both exes with their readme and licence. Run through `make package`, which
# installs what this needs first. With --deb it makes the .deb alone.
#
# Both are reproducible: every time stamp in them is SOURCE_DATE_EPOCH, the
# time of the checkout's commit unless the caller sets it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=build/packages
deb_only=false
case ${1:-} in
  --deb) deb_only=true ;;
  "") ;;
  *) echo "usage: $0 [--deb]" >&2; exit 2 ;;
esac

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH

# Only what ships is built: a test or benchmark being worked on elsewhere in
# the tree cannot hold up the packages.
cmake --preset linux-release
cmake --build --preset linux-release --target kivo kivo_docs kivo_icon_images
desktop-file-validate packaging/kivo.desktop

# CPack stages in the release build; only the finished .deb moves to the
# output, replacing any earlier one so that exactly one kivo_*.deb lies there.
rm -rf build/linux-release/cpack
cpack --config build/linux-release/CPackConfig.cmake -B build/linux-release/cpack
mkdir -p "$out"
rm -f "$out"/kivo_*.deb
deb=$(find build/linux-release/cpack -maxdepth 1 -name 'kivo_*.deb')
[ "$(echo "$deb" | wc -w)" -eq 1 ] || { echo "expected one .deb from CPack, found: $deb" >&2; exit 1; }
mv "$deb" "$out/"
deb=$out/$(basename "$deb")
if $deb_only; then
  echo "$deb"
  exit 0
fi

for preset in windows-i686 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" --target kivo
done
zip=$(python3 packaging/make_windows_zip.py "$out")

echo
echo "== $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --field "$deb" Package Version Architecture Section Depends
dpkg-deb --contents "$deb" | awk '$NF !~ /\/$/ {print "  " $NF}'
echo
echo "== $zip ($(stat -c %s "$zip") bytes)"
python3 -m zipfile -l "$zip"
# The version resources as an independent tool reads them, not Kivo's own
# PE reader the tests use.
for exe in build/windows-i686/kivo.exe build/windows-x64/kivo.exe; do
  echo "$exe: $(wrestool --list --type=16 "$exe")"
  wrestool --extract --raw --type=16 "$exe" | strings -el |
    paste -sd' ' | sed 's/^/  /'
done

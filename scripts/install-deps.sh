#!/usr/bin/env bash
# Installs what Kivo's builds and tests need on Debian 12, only when something
# is missing, so a machine that has everything never touches the network.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libgtest-dev libbenchmark-dev
  # The refresh benchmark marks its phases for callgrind (valgrind's header)
  # and bench/refresh.sh runs it under callgrind.
  valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 binutils
  # The resource generator and the check of the exes' resources.
  python3
  # The Linux strip: FLTK with Xlib, Xft and fontconfig underneath; Liberation
  # Mono is the face that "Courier New" resolves to.
  libfltk1.3-dev libx11-dev libxft-dev libfontconfig-dev fonts-liberation
  # The Windows exe's end-to-end test runs the 32-bit build under Wine on Xvfb.
  wine wine32:i386 wine64 xvfb xdotool x11-utils imagemagick
  # The soak counts the strip's X resources through the X-Resource extension.
  libxres-dev
  # The check of the install tree validates the desktop entry.
  desktop-file-utils
  # The strip under real window managers, beside an xterm (xfwm4 needs a D-Bus
  # session; wmctrl asks a manager to close a window).
  openbox xfwm4 metacity i3-wm fluxbox icewm dbus xterm wmctrl
)
for flag in "$@"; do
  case $flag in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # `make package` and `make package-check`: the .deb's computed Depends
    # (dpkg-shlibdeps, which CPack feeds through file), a resource dump of the
    # exes, and a clean Debian root to install the .deb into.
    --package) packages+=(dpkg-dev file icoutils debootstrap) ;;
    # make bench sets the strip beside two other X monitors of the same fields.
    --bench) packages+=(conky-std xosview) ;;
    *) echo "unknown option: $flag" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this as root once (or install them with apt-get) and try again." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package; dpkg-query above already asks for it by that name.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null

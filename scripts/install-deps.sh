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
  # make test builds the fuzz preset with clang and runs its fuzzer briefly;
  # make format runs clang-format.
  clang libclang-rt-14-dev clang-format
  # The Linux builds render the larger icon PNGs from the icon's SVG.
  librsvg2-bin
  # The Linux strip: FLTK with Xlib, Xft and fontconfig underneath; Liberation
  # Mono is the face that "Courier New" resolves to.
  libfltk1.3-dev libx11-dev libxft-dev libfontconfig-dev fonts-liberation
  # The Windows exe's end-to-end test runs the 32-bit build under Wine on Xvfb.
  wine wine32:i386 wine64 xvfb xdotool x11-utils imagemagick
  # The high-DPI end-to-end test sets the desktop's Xft.dpi with xrdb.
  x11-xserver-utils
  # The soak counts the strip's X resources through the X-Resource extension.
  libxres-dev
  # The check of the install tree validates the desktop entry.
  desktop-file-utils
  # make test builds the .deb (dpkg-shlibdeps reads the binary through file),
  # lints it and checks its manual page.
  dpkg-dev file lintian man-db
  # The network rates' end-to-end test builds namespaces, a bridge, veth pairs
  # and a tun VPN.
  iproute2 socat
  # The strip under real window managers, beside an xterm (xfwm4 needs a D-Bus
  # session; wmctrl asks a manager to close a window).
  openbox xfwm4 metacity i3-wm fluxbox icewm dbus xterm wmctrl
  # GNOME and KDE in the same matrix: gnome-shell and kwin in X11 sessions,
  # mutter and kwin_wayland headless with XWayland (ps finds the compositor's
  # XWayland).
  mutter gnome-shell kwin-x11 kwin-wayland xwayland procps
)
for flag in "$@"; do
  case $flag in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # `make package` and `make package-check`: the .deb's computed Depends
    # (dpkg-shlibdeps, which CPack feeds through file), a resource dump of the
    # exes, and a clean Debian root to install the .deb into.
    --package) packages+=(icoutils debootstrap) ;;
    # make bench sets the strip beside two other X monitors of the same fields.
    # and counts the system calls of all three with strace.
    --bench) packages+=(conky-std xosview strace) ;;
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

# Only apt needs root. An ordinary user is asked for their sudo password once,
# here, and everything else (the builds, the tests, the strip) stays theirs.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root (apt-get install ...), or install sudo, and try again." >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
# wine32 is an i386 package; dpkg-query above already asks for it by that name.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null

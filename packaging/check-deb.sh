#!/usr/bin/env bash
# Installs build/packages/kivo_*.deb into a fresh Debian 12 root with apt, so
# the Depends that dpkg-shlibdeps computed are all the system gets, and runs
# the installed strip there against a private Xvfb on this machine: its window
# must map where the defaults put it, and SIGTERM must end it cleanly with its
# settings written. Needs root (debootstrap, chroot, mounts) and the network.
#
# The bare root is bootstrapped once and kept as build/debian-bookworm-root.tar;
# each run unpacks a throwaway copy under build/ and removes it afterwards.
#
# Usage: check-deb.sh             (`make package-check` builds the .deb first)
#        KIVO_DEBIAN_MIRROR=URL check-deb.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
here=$root/packaging
mirror=${KIVO_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=$root/build/debian-bookworm-root.tar

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

# --- on the Xvfb: run the installed strip and look at it from outside ---------
# (the script runs itself here through tests/with_xvfb.sh; see below)
if [ "${1:-}" = "--strip" ]; then
  chroot_dir=$2 user=$3 ids=$4
  home=/home/$user
  store=$chroot_dir$home/.config/kivo/kivo.reg
  # shellcheck source=tests/e2e/screen.sh
  source "$root/tests/e2e/screen.sh"
  kivo_name=kivo close_wait_s=10
  # shellcheck source=tests/e2e/process.sh
  source "$root/tests/e2e/process.sh"
  log=$(mktemp "${TMPDIR:-/tmp}/kivo-deb-check.XXXXXX")
  end_run_on_exit "$log"
  kivo_output() { echo ": $(cat "$log")"; }

  # chroot, setpriv and env all exec, so $! is the strip itself.
  chroot "$chroot_dir" setpriv --reuid="${ids%:*}" --regid="${ids#*:}" --clear-groups \
    env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LANG=C.UTF-8 /usr/bin/kivo >"$log" 2>&1 &
  kivo_pid=$!
  step "the strip from the package runs as pid $kivo_pid on $DISPLAY"

  strip=""
  for _ in $(seq 100); do
    strip=$(xdotool search --onlyvisible --class '^Kivo$' 2>/dev/null | head -1 || true)
    [ -n "$strip" ] && break
    fail_if_ended "before its window appeared"
    sleep 0.1
  done
  [ -n "$strip" ] || fail "no visible window of class Kivo within 10 s"
  got=""
  for _ in $(seq 50); do
    got=$(geometry "$strip")
    [ "$got" = "443 -2 450 14" ] && break
    sleep 0.1
  done
  [ "$got" = "443 -2 450 14" ] || fail "the strip is at '$got' (x y width height), expected '443 -2 450 14'"
  step "window $strip: $(xprop -id "$strip" WM_CLASS WM_NAME | paste -sd' ') at $got"

  # It must draw its status line (green text on black) with the fonts the
  # Depends brought, and keep running through a few redraws.
  green=0
  for _ in $(seq 50); do
    read -r black green grey other < <(pixel_classes 443 -2 450 14)
    [ "$green" -gt 100 ] && break
    fail_if_ended "before it drew its status line"
    sleep 0.1
  done
  [ "$green" -gt 100 ] || fail "no status line drawn: $black black, $green green, $grey grey, $other other pixels"
  step "status line drawn: $green green pixels on $black black"
  sleep 1.5
  fail_if_ended "after its window appeared"
  kill -TERM "$kivo_pid"
  status=0
  wait "$kivo_pid" || status=$?
  kivo_pid=""
  [ $status -eq 0 ] || fail "SIGTERM ended kivo with exit code $status: $(cat "$log")"
  step "SIGTERM: kivo exited 0"
  [ -f "$store" ] || fail "no store file $home/.config/kivo/kivo.reg in the root after SIGTERM"
  for line in '[HKEY_CURRENT_USER\Software\Falvane\Kivo\2.0]' '"x"=dword:000001bb' \
              '"y"=dword:fffffffe' '"width"=dword:000001c2' '"height"=dword:0000000e'; do
    tr -d '\r' <"$store" | grep -qxF "$line" || fail "the store file has no line $line: $(cat "$store")"
  done
  step "$home/.config/kivo/kivo.reg, as kivo wrote it:"
  tr -d '\r' <"$store" | sed 's/^/  /'
  exit 0
fi

# --- the root, its mounts and the package -------------------------------------
[ "$(id -u)" -eq 0 ] || fail "run this as root: it bootstraps a Debian root and chroots into it"
for tool in debootstrap chroot mount Xvfb xdotool xwininfo xprop import desktop-file-validate; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (run scripts/install-deps.sh --package as root)"
done
shopt -s nullglob
debs=("$root"/build/packages/kivo_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one build/packages/kivo_*.deb, found ${#debs[@]}: run make package"
deb=${debs[0]}
started=$(date +%s)

work=$(mktemp -d "$root/build/deb-check.XXXXXX")
chroot_dir=$work/root
mounts=()
mounted_below() { awk -v w="$work/" 'index($2, w) == 1 {print $2}' /proc/self/mounts; }
cleanup() {
  local status=$? i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null ||
      echo "could not unmount ${mounts[i]}" >&2
  done
  # Never remove the folder while anything is still mounted in it: that would
  # reach into the host's /dev and /sys.
  if [ -n "$(mounted_below)" ]; then
    echo "still mounted, $work kept: $(mounted_below | paste -sd' ')" >&2
    [ $status -eq 0 ] && status=1
  else
    rm -rf "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [ ! -f "$cache" ]; then
  step "bootstrapping Debian 12 (minbase) from $mirror into $cache"
  debootstrap --variant=minbase bookworm "$chroot_dir" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    fail "debootstrap failed: $(tail -n 20 "$work/debootstrap.log")"
  [ -z "$(mounted_below)" ] || fail "debootstrap left mounts behind: $(mounted_below)"
  # apt's downloads are not part of a bare system.
  rm -f "$chroot_dir"/var/cache/apt/archives/*.deb
  tar --numeric-owner -C "$chroot_dir" -cf "$cache.part" .
  mv "$cache.part" "$cache"
else
  step "unpacking the Debian 12 root kept in $cache"
  mkdir "$chroot_dir"
  tar --numeric-owner -C "$chroot_dir" -xpf "$cache"
fi

mount_in() {
  local target=$chroot_dir$1
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounts+=("$target")
}
mount_in /proc -t proc proc
mount_in /sys -t sysfs sysfs
mount_in /dev --bind /dev
mount_in /dev/pts --bind /dev/pts
# The X server's socket, so the strip in the root reaches the Xvfb out here.
mount_in /tmp/.X11-unix --bind /tmp/.X11-unix
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"

step "installing $(basename "$deb") with apt"
cp "$deb" "$chroot_dir/tmp/"
in_root() { chroot "$chroot_dir" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -qq >"$work/apt.log" 2>&1 || fail "apt-get update in the root failed: $(tail "$work/apt.log")"
in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$(basename "$deb")" \
  >>"$work/apt.log" 2>&1 || fail "apt-get install failed: $(tail -n 30 "$work/apt.log")"
# shellcheck disable=SC2016 # dpkg-query's own fields, not the shell's
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' kivo
echo "apt brought in $(grep -c '^Setting up ' "$work/apt.log") packages: $(grep '^Setting up ' "$work/apt.log" |
  awk '{print $3}' | grep -v '^kivo$' | paste -sd' ')"
missing=$(in_root ldd /usr/bin/kivo | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries the Depends did not bring: $missing"

step "installed files"
for file in /usr/bin/kivo /usr/share/applications/kivo.desktop \
  /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/kivo.png \
  /usr/share/icons/hicolor/scalable/apps/kivo.svg /usr/share/man/man1/kivo.1.gz \
  /usr/share/doc/kivo/{copyright,changelog.Debian.gz}; do
  [ -f "$chroot_dir$file" ] || fail "$file is not installed"
  echo "  $file"
done
[ -x "$chroot_dir/usr/bin/kivo" ] || fail "/usr/bin/kivo is not executable"
desktop-file-validate "$chroot_dir/usr/share/applications/kivo.desktop" || fail "the installed kivo.desktop does not validate"

# An ordinary user, as a desktop session would run it.
in_root useradd --create-home kivo-check
ids=$(in_root id -u kivo-check):$(in_root id -g kivo-check)
"$root/tests/with_xvfb.sh" "$here/check-deb.sh" --strip "$chroot_dir" kivo-check "$ids"

echo "PASS: $(basename "$deb") installs on a bare Debian 12 and its strip runs ($(($(date +%s) - started)) s)"

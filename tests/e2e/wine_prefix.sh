# shellcheck shell=bash
# Sourced by the scripts that run kivo.exe under Wine (bash, set -euo pipefail).
#
# A Wine prefix takes 10-25 s to create and fills 600 MB (win32) or 1.3 GB
# (win64), so one is made once per build folder, set up for unattended runs
# and kept as a tar; every run unpacks a fresh copy of it (1-4 s) into a
# folder of its own.

# The environment every Wine command of a run needs. $1: win32 or win64;
# $2: the run's own folder, which receives the prefix, a HOME and a TMPDIR.
wine_environment() {
  export WINEARCH=$1
  export WINEPREFIX=$2/prefix
  export HOME=$2/home
  # Debian's wineserver keeps its socket folder in a new $TMPDIR/wine-XXXXXX
  # (unless /run/user/<uid> exists) and never removes it: inside the run's
  # folder it goes with the run.
  export TMPDIR=$2/tmp
  # No trace output, and no offer to download Mono or Gecko.
  export WINEDEBUG=${WINEDEBUG:--all}
  # Set, not defaulted: an override left in the caller's environment (pdh=b,
  # say) would change which DLLs the runs load.
  export WINEDLLOVERRIDES=mscoree,mshtml=
  mkdir -p "$HOME"
  [ -d "$TMPDIR" ] || mkdir -m 700 "$TMPDIR"
}

# Ends every process of the prefix and the server itself, and removes the
# server's socket folder when it lives outside the run's folder
# (/run/user/<uid>/wine/server-<device>-<inode>, named after the prefix).
wine_stop_server() {
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] || return 0
  local socket_dir
  socket_dir=/run/user/$(id -u)/wine/server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
  wineserver -k 2>/dev/null || true
  rm -rf "$socket_dir"
}

# The architecture a PE file was built for: win32 or win64.
wine_arch_of() {
  local header machine
  header=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((header + 4)) -N 2 "$1" | tr -d ' ' | sed 's/^0*//')
  case $machine in
    14c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "wine_arch_of: $1 is not an i386 or x86-64 PE file (machine $machine)" >&2; return 1 ;;
  esac
}

wine_make_prefix() {
  if ! wineboot -i >"$TMPDIR/wineboot.log" 2>&1; then
    echo "wineboot could not make a prefix at $WINEPREFIX:" >&2
    tail -n 20 "$TMPDIR/wineboot.log" >&2
    return 1
  fi
  # With no window manager, a managed window costs seconds on every hide.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  # A crash must end the process, not wait for someone to close a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  # Wine ships no Courier New; without this it falls back to a proportional
  # face, and the strip would not look as it does on Windows.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ \
    /d 'Liberation Mono' /f >/dev/null
  wineserver -w
}

# Puts a prefix at $WINEPREFIX (wine_environment first) unless one is there
# already: a copy of the tar $1, made first when it is missing or was made by
# another Wine. The tar is made from a new prefix at $WINEPREFIX itself when
# there is none, so a first run pays for the creation only.
wine_restore_prefix() {
  local cache=$1 version
  version="$(wine --version) $WINEARCH"
  mkdir -p "$(dirname "$cache")" "$(dirname "$WINEPREFIX")"
  (
    # Two runs at once must not both write the tar.
    flock -x 9
    if [ ! -f "$cache" ] || [ "$(cat "$cache.version" 2>/dev/null)" != "$version" ]; then
      echo "Creating a $WINEARCH Wine prefix (once per build folder)..."
      if [ -e "$WINEPREFIX" ]; then
        # shellcheck disable=SC2030 # the caller's prefix stays as it is
        WINEPREFIX=$(mktemp -d "$(dirname "$cache")/wine-prefix.XXXXXX")/prefix
        trap 'wine_stop_server; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
      fi
      wine_make_prefix
      tar -C "$(dirname "$WINEPREFIX")" -cf "$cache.tmp" "$(basename "$WINEPREFIX")"
      mv "$cache.tmp" "$cache"
      echo "$version" >"$cache.version"
    fi
  ) 9>"$cache.lock"
  # shellcheck disable=SC2031
  if [ ! -d "$WINEPREFIX" ]; then
    tar -C "$(dirname "$WINEPREFIX")" -xf "$cache"
  fi
}

# Makes a folder of the run's own for the exe $1 from the mktemp template $2
# under the build folder $3, as work, and sets up wine_environment in it;
# sets arch to the exe's and prefix_tar to the prefix tar for it in $3. Under
# the build folder rather than in /tmp: a win64 prefix is over 1 GB, too much
# for a /tmp in memory.
wine_run_folder() {
  local suffix=""
  arch=$(wine_arch_of "$1")
  [ "$arch" = win32 ] || suffix="-$arch"
  # shellcheck disable=SC2034 # for the caller
  prefix_tar=$3/wine-prefix$suffix.tar
  mkdir -p "$(dirname "$3/$2")"
  work=$(mktemp -d "$3/$2")
  wine_environment "$arch" "$work"
}

# Has whatever ends the script end the run too (wine_end_run), keeping the
# folder of a failed run when $1 is not empty; the exit code stays the
# script's. The run's exe is to be $kivo_pid.
wine_end_run_on_exit() {
  keep_failed_run=${1:-}
  kivo_pid=""
  trap wine_exit_run EXIT
  trap 'exit 130' INT TERM
}
# shellcheck disable=SC2317 # run by the trap
wine_exit_run() {
  local status=$? keep=""
  [ $status -eq 0 ] || keep=$keep_failed_run
  wine_end_run "$keep"
  exit "$status"
}

# The clean-up of a run in a folder from wine_run_folder: ends the exe
# $kivo_pid when it still runs and the prefix's server, then removes the
# folder and its parent when that is left empty, or, when $1 is not empty,
# keeps it for a closer look.
wine_end_run() {
  if [ -n "$kivo_pid" ] && kill -0 "$kivo_pid" 2>/dev/null; then
    kill "$kivo_pid" 2>/dev/null || true
  fi
  wine_stop_server
  if [ -n "${1:-}" ]; then
    echo "kept $work (prefix and traces) for a closer look"
  else
    rm -rf "$work"
    rmdir "$(dirname "$work")" 2>/dev/null || true
  fi
}

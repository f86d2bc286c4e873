# Shared by the project's scripts: installs what the build and the tests need on
# a fresh Debian 12 machine, and sets up Wine. Every step is idempotent.

TESVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TESVO_CACHE=${TESVO_CACHE:-$HOME/.cache/tesvo}
export WINEDEBUG=${WINEDEBUG:--all}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

apt_install() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The cross compilers, the 64-bit Wine, a virtual display and image tools.
install_build_tools() {
  apt_install cmake make python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest \
    wine wine64 xvfb xauth x11-utils imagemagick
}

install_native_tools() {
  apt_install clang libclang-rt-14-dev
}

# 32-bit Wine runs through qemu's user emulation on these machines.
install_wine32() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    as_root apt-get update -q
  fi
  apt_install qemu-user wine32:i386 wine32-preloader:i386
  local misc=/proc/sys/fs/binfmt_misc
  if [ ! -e "$misc/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null || true
  fi
  if [ -e "$misc/register" ] && [ ! -e "$misc/qemu-i386" ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
      | as_root tee "$misc/register" >/dev/null || true
  fi
}

wine32_works() { [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -x /usr/lib/wine/wine ]; }

# build ARCH DIR [cmake options...]: configures and builds one target architecture.
build_arch() {
  local arch=$1 dir=$2
  shift 2
  cmake -S "$TESVO_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$TESVO_ROOT/cmake/mingw-$arch.cmake" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# A virtual display for the Wine programs, unless one is there already.
# start_display [LAUNCHER...]: the launcher (for example setsid) starts Xvfb.
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    "$@" Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    TESVO_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_display() {
  if [ -n "${TESVO_XVFB_PID:-}" ]; then kill "$TESVO_XVFB_PID" 2>/dev/null || true; fi
}

# wine_for ARCH: the loader that runs programs of that architecture.
wine_for() { if [ "$1" = x86_64 ]; then echo /usr/lib/wine/wine64; else echo /usr/lib/wine/wine; fi; }

# Every prefix is a copy of a pristine one per architecture, made by wineboot
# once, checked, and never run in: a second prefix (the installer check's) costs a
# copy instead of another wineboot, which takes ten minutes and more under qemu.
# Fixed here, when the script starts: callers change TESVO_CACHE for their own
# prefixes, and all of them copy the same pristine one.
TESVO_PRISTINE=$TESVO_CACHE/pristine

# prefix_problem: what the prefix in WINEPREFIX lacks that the tests rely on;
# prints nothing when it is whole. A wineboot cut short leaves system.reg behind
# without the environment (no PATH: a cmd.exe started by another one is not
# found, exit 9009), so both are checked: the value, then cmd.exe starting cmd.exe.
prefix_problem() {
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/user.reg" ]; then
    echo "no registry"
    return
  fi
  if ! awk '/^\[/ { inside = /^\[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment\]/ }
            inside && /^"PATH"=/ { found = 1 } END { exit !found }' "$WINEPREFIX/system.reg"; then
    echo "no PATH in its environment"
    return
  fi
  # Twice at most: under qemu a 32-bit process now and then dies as it starts.
  local answer try
  for try in 1 2; do
    answer=$(timeout 300 "$(wine_for "$1")" cmd.exe /c "cmd.exe /c echo whole" </dev/null 2>/dev/null | tr -d '\r' || true)
    [ "$answer" != whole ] || break
  done
  timeout 60 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
  [ "$answer" = whole ] || echo "cmd.exe does not start cmd.exe (it answered: ${answer:-nothing})"
}

# make_prefix ARCH: runs wineboot in WINEPREFIX and waits until it has finished.
make_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # mscoree and mshtml would offer to download Mono and Gecko; winemenubuilder
  # writes Linux menu entries no test reads. Some of Wine's own set-up programs
  # crash under emulation: with the debugger off they just end instead of
  # waiting for a click on an error dialog.
  # wineboot returns once its set-up programs are done; under qemu that took more
  # than ten minutes on a 2-core machine, so the limit is half an hour, only to
  # end a set-up program that hangs.
  WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d,winedbg.exe=d" \
    timeout 1800 "$(wine_for "$1")" wineboot --init >/dev/null 2>&1 || true
  timeout 600 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
}

# copy_pristine ARCH: copies the checked pristine prefix of that architecture to
# WINEPREFIX, making it first if needed, and making it once more if the first one
# is incomplete. Locked: checks run side by side may ask for it at once.
copy_pristine() (
  local target=$WINEPREFIX problem try started
  export WINEPREFIX="$TESVO_PRISTINE/$1"
  mkdir -p "$TESVO_PRISTINE"
  exec 9>"$TESVO_PRISTINE/$1.lock"
  flock 9
  problem=$(prefix_problem "$1")
  for try in 1 2; do
    [ -n "$problem" ] || break
    if [ -f "$WINEPREFIX/system.reg" ]; then
      echo "the $1 Wine prefix is incomplete ($problem); making it again"
    else
      echo "creating the $1 Wine prefix (once; ten minutes and more for 32-bit)"
    fi
    started=$SECONDS
    make_prefix "$1"
    problem=$(prefix_problem "$1")
    echo "making the $1 Wine prefix took $((SECONDS - started)) s"
  done
  if [ -n "$problem" ]; then
    echo "the $1 Wine prefix is incomplete: $problem" >&2
    return 1
  fi
  rm -rf "$target"
  mkdir -p "$(dirname "$target")"
  cp -a "$WINEPREFIX" "$target"
)

# use_prefix ARCH: a whole Wine prefix of that architecture in
# $TESVO_CACHE/wine-ARCH, copied from the pristine one and kept. One found
# incomplete is copied again; fails, saying so, when no whole one can be made.
use_prefix() {
  export WINEPREFIX="$TESVO_CACHE/wine-$1"
  if [ "$1" = x86_64 ]; then export WINEARCH=win64; else export WINEARCH=win32; fi
  local problem
  if [ -f "$WINEPREFIX/system.reg" ]; then
    problem=$(prefix_problem "$1")
    [ -n "$problem" ] || return 0
    echo "the $1 Wine prefix in $WINEPREFIX is incomplete ($problem); copying it again"
  fi
  copy_pristine "$1" || return 1
  problem=$(prefix_problem "$1")
  [ -z "$problem" ] || { echo "the $1 Wine prefix is incomplete: $problem" >&2; return 1; }
}

# start_session ARCH [ERRORS]: a persistent wineserver for the prefix in use, once a
# program of it can make a window. The session's own programs (services.exe and the
# services it starts) write their standard error to the file ERRORS if given. Under qemu the 32-bit desktop process now and
# then crashes as it starts, and the programs of that session then have no
# display; the session is started again, up to five times, then left as it is.
start_session() {
  local try
  for try in 1 2 3 4 5; do
    wineserver -p
    timeout 300 "$(wine_for "$1")" "$TESVO_ROOT/build/$1/out/desktop_check.exe" >/dev/null 2>>"${2:-/dev/null}" && return 0
    echo "the Wine session had no working desktop (try $try); starting it again" >&2
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  done
  wineserver -p
}

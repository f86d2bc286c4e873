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

# use_prefix ARCH: a Wine prefix of that architecture, made once and kept.
use_prefix() {
  export WINEPREFIX="$TESVO_CACHE/wine-$1"
  if [ "$1" = x86_64 ]; then export WINEARCH=win64; else export WINEARCH=win32; fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the $1 Wine prefix (once; slow for 32-bit)"
    mkdir -p "$TESVO_CACHE"
    # Some of Wine's own set-up programs crash under emulation; with the debugger
    # off they just end instead of waiting for a click on an error dialog.
    WINEDLLOVERRIDES="mscoree,mshtml=,winedbg.exe=d" timeout 600 "$(wine_for "$1")" wineboot --init >/dev/null 2>&1 || true
    # Bounded all the same: a set-up program left hanging must not hold us up.
    timeout 300 wineserver -w || wineserver -k || true
  fi
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

# Shared by the run, test and benchmark commands. Source it; it sets nothing
# global but functions and the variables they document.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Prints i686 when this machine runs 32-bit x86 code natively, x86_64
# otherwise (some virtual machines run 64-bit user code only; there the same
# sources are tested as a 64-bit build on wine64). ULVERANE_ARCH overrides.
ulverane_test_arch() {
  if [ -n "${ULVERANE_ARCH:-}" ]; then
    echo "$ULVERANE_ARCH"
    return
  fi
  local probe
  probe=$(mktemp)
  # A minimal static i386 ELF that exits with 42 (an emulator registered for
  # i386 would make this pass too, so such a registration counts as "no").
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
  chmod +x "$probe"
  local rc=0
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  if [ "$rc" = 42 ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo i686
  else
    echo x86_64
  fi
}

# Installs what is missing and picks the architecture and build folder: sets
# arch and build.
ulverane_prepare() {
  bash "$repo_root/tools/install-deps.sh"
  arch=$(ulverane_test_arch)
  build=${ULVERANE_BUILD_DIR:-$repo_root/build}
}

# The Wine loader for an architecture.
ulverane_wine_loader() {
  if [ "$1" = i686 ]; then echo wine; else echo /usr/lib/wine/wine64; fi
}

# ulverane_wine_start <prefix> <arch>
# Starts a private Xvfb display and a persistent wineserver for <prefix>,
# creating the prefix first if needed. Exports WINEPREFIX, WINEARCH, DISPLAY,
# WINEDEBUG, WINEDLLOVERRIDES and ULVERANE_WINE. ulverane_wine_stop undoes it.
ulverane_wine_start() {
  local prefix=$1 arch=$2
  export WINEPREFIX=$prefix
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko download prompts.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  if [ "$arch" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
  export ULVERANE_WINE
  ULVERANE_WINE=$(ulverane_wine_loader "$arch")

  local display
  for display in $(seq 91 140); do
    [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ] || break
  done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  ulverane_xvfb_pid=$!
  export DISPLAY=":$display"
  local i
  for i in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    sleep 0.05
  done

  if [ ! -f "$prefix/.ulverane-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    echo "Creating the Wine prefix $prefix ($WINEARCH)..."
    "$ULVERANE_WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # A virtual desktop: without a window manager each GUI exit costs 2 s.
    "$ULVERANE_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$ULVERANE_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.ulverane-ready"
  fi
  # The server may stay in the foreground, so it always goes to the background.
  (wineserver -p >/dev/null 2>&1 &)
  # Start Wine's own services now, away from any caller's output: a service
  # started by a test would keep the test's output pipe open after it ends.
  "$ULVERANE_WINE" wineboot >/dev/null 2>&1 </dev/null || true
}

ulverane_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "${ulverane_xvfb_pid:-}" ]; then
    kill "$ulverane_xvfb_pid" 2>/dev/null || true
    wait "$ulverane_xvfb_pid" 2>/dev/null || true
    ulverane_xvfb_pid=
  fi
}

# ulverane_configure <build-dir> <arch> [cmake args...]
ulverane_configure() {
  local dir=$1 arch=$2
  shift 2
  cmake -S "$repo_root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/mingw-$arch.cmake" "$@" >/dev/null
}

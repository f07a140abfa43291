# Shared by the run, test and benchmark commands. Source it; it sets nothing
# global but functions and the variables they document.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The 64-bit half of Wine. In a win64 prefix it runs 64-bit programs itself
# and hands 32-bit ones to the 32-bit loader, exactly as 64-bit Windows runs
# them (WoW64). /usr/bin/wine would start the 32-bit loader for everything.
ulverane_wine64=/usr/lib/wine/wine64
ulverane_wineserver=/usr/lib/wine/wineserver64

# Succeeds when this machine runs 32-bit x86 code natively. Some virtual
# machines run 64-bit user code only; there qemu-user runs the 32-bit half of
# Wine (ulverane_emulation_start). ULVERANE_I386_EMULATION=1 takes that way
# on any machine.
ulverane_runs_i386_natively() {
  local probe rc=0
  [ "${ULVERANE_I386_EMULATION:-0}" = 1 ] && return 1
  ulverane_mount_binfmt
  # A registration for i386 would make the probe pass through an emulator.
  if grep -qs '^magic 7f454c4601010100000000000000000002000300' /proc/sys/fs/binfmt_misc/*; then
    return 1
  fi
  probe=$(mktemp)
  # A minimal static i386 ELF that exits with 42.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" = 42 ]
}

# Installs what is missing and picks the lane and build folder: sets arch
# (i686, the product, unless ULVERANE_ARCH=x86_64 asks for the quick 64-bit
# lane) and build.
ulverane_prepare() {
  bash "$repo_root/tools/install-deps.sh"
  arch=${ULVERANE_ARCH:-i686}
  case "$arch" in
    i686 | x86_64) ;;
    *) echo "ULVERANE_ARCH must be i686 or x86_64" >&2; exit 2 ;;
  esac
  build=${ULVERANE_BUILD_DIR:-$repo_root/build}
}

ulverane_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ulverane_mount_binfmt() {
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    ulverane_sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
}

# Makes 32-bit programs runnable for the rest of this shell: where the
# machine cannot run them natively, registers qemu-i386 for i386 ELF files
# under a name of this process's own, and removes it again in
# ulverane_emulation_stop (call it from an EXIT trap). Sets
# ulverane_i386_lane to "native" or "emulated (qemu-user <version>)".
ulverane_emulation_start() {
  ulverane_binfmt_entry=
  ulverane_mount_binfmt
  # Registrations left by a run that was killed outright.
  local stale
  for stale in /proc/sys/fs/binfmt_misc/ulverane-i386-*; do
    [ -e "$stale" ] || continue
    if ! kill -0 "${stale##*-}" 2>/dev/null; then
      echo -1 | ulverane_sudo tee "$stale" >/dev/null || true
    fi
  done
  if ulverane_runs_i386_natively; then
    ulverane_i386_lane=native
    return
  fi
  local qemu
  qemu=$(command -v qemu-i386 || true)
  if [ -z "$qemu" ]; then
    echo "qemu-i386 is missing (tools/install-deps.sh installs it)" >&2
    exit 1
  fi
  ulverane_binfmt_entry=ulverane-i386-$$
  # F: the interpreter is opened now, so it works inside any mount namespace.
  printf '%s' ":$ulverane_binfmt_entry:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" |
    ulverane_sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
  ulverane_i386_lane="emulated ($("$qemu" --version | head -n 1))"
}

ulverane_emulation_stop() {
  if [ -n "${ulverane_binfmt_entry:-}" ] && [ -e "/proc/sys/fs/binfmt_misc/$ulverane_binfmt_entry" ]; then
    echo -1 | ulverane_sudo tee "/proc/sys/fs/binfmt_misc/$ulverane_binfmt_entry" >/dev/null || true
  fi
  ulverane_binfmt_entry=
}

# ulverane_wine_start <prefix>
# Starts a private Xvfb display and a persistent wineserver for the win64
# prefix <prefix>, creating it first if needed. Exports WINEPREFIX, DISPLAY,
# WINEDEBUG, WINEDLLOVERRIDES and ULVERANE_WINE (the loader to run Windows
# programs with). 32-bit programs must be runnable first
# (ulverane_emulation_start). ulverane_wine_stop undoes it.
ulverane_wine_start() {
  local prefix=$1
  export WINEPREFIX=$prefix
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko download prompts, and no menu entries or desktop files
  # written to the host's home.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
  unset WINEARCH
  export ULVERANE_WINE=$ulverane_wine64

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
    echo "Creating the Wine prefix $prefix (win64 with its 32-bit half)..."
    WINEARCH=win64 "$ULVERANE_WINE" wineboot -i >/dev/null 2>&1 || true
    "$ulverane_wineserver" -w
    if [ ! -d "$prefix/drive_c/windows/syswow64" ] || [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
      echo "The prefix has no 32-bit half: 32-bit programs cannot run here" >&2
      exit 1
    fi
    # A virtual desktop: without a window manager each GUI exit costs 2 s.
    "$ULVERANE_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$ULVERANE_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    "$ulverane_wineserver" -w
    touch "$prefix/.ulverane-ready"
  fi
  # The user's folders (Desktop, Documents...) come as links to the host's
  # home; what programs put there must stay inside the prefix.
  local link
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm "$link"
      mkdir "$link"
    fi
  done
  # The server may stay in the foreground, so it always goes to the background.
  ("$ulverane_wineserver" -p >/dev/null 2>&1 &)
  # Start Wine's own services now, away from any caller's output: a service
  # started by a test would keep the test's output pipe open after it ends.
  "$ULVERANE_WINE" wineboot >/dev/null 2>&1 </dev/null || true
  # A crash ends the program with its exception code; Wine's crash dialog
  # would wait for a click that no test gives.
  "$ULVERANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 \
    /f >/dev/null 2>&1 || true
}

# Ends the server of $WINEPREFIX and waits until it is gone.
ulverane_server_stop() {
  "$ulverane_wineserver" -k >/dev/null 2>&1 || true
  "$ulverane_wineserver" -w >/dev/null 2>&1 || true
}

ulverane_wine_stop() {
  ulverane_server_stop
  if [ -n "${ulverane_xvfb_pid:-}" ]; then
    kill "$ulverane_xvfb_pid" 2>/dev/null || true
    wait "$ulverane_xvfb_pid" 2>/dev/null || true
    ulverane_xvfb_pid=
  fi
}

# ulverane_session_start <prefix>: 32-bit programs runnable, then the Wine
# session; ulverane_session_stop undoes both, also on failure (trap it).
ulverane_session_start() {
  trap ulverane_session_stop EXIT
  trap 'exit 130' INT TERM
  ulverane_emulation_start
  ulverane_wine_start "$1"
}

ulverane_session_stop() {
  ulverane_wine_stop
  ulverane_emulation_stop
}

# ulverane_compat_matrix <test build> <prefix> [compat_matrix.py args...]
# Runs cells of the compatibility matrix, each in a copy of <prefix> with a
# server of its own, on the session's display.
ulverane_compat_matrix() {
  local tests=$1 template=$2
  shift 2
  # The template's own server goes, so that its registry is on disk.
  WINEPREFIX=$template ulverane_server_stop
  python3 "$repo_root/tests/compat/compat_matrix.py" --build "$tests" --template "$template" \
    --work "$(dirname "$template")/compat-matrix" "$@"
}

# ulverane_configure <build-dir> <arch> [cmake args...]; the sources are
# $ulverane_sources, this checkout unless set.
ulverane_configure() {
  local dir=$1 arch=$2 sources=${ulverane_sources:-$repo_root}
  shift 2
  cmake -S "$sources" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$sources/cmake/mingw-$arch.cmake" "$@" >/dev/null
}

# ulverane_build_lanes <product dir> <tests dir> <tests arch> [test targets...]
# Builds the 32-bit product, then the tests against that Setup.exe and its
# sample payload.
ulverane_build_lanes() {
  local product=$1 tests=$2 tests_arch=$3
  shift 3
  echo "== Building the product (i686)"
  ulverane_configure "$product" i686
  cmake --build "$product" -j "$(nproc)"
  echo "== Building the tests ($tests_arch)"
  ulverane_configure "$tests" "$tests_arch" -DULVERANE_BUILD_TESTS=ON \
    -DULVERANE_PRODUCT_SETUP="$product/Setup.exe" \
    -DULVERANE_PRODUCT_PAYLOAD_DIR="$product/sample-payload"
  cmake --build "$tests" -j "$(nproc)" ${1:+--target "$@"}
}

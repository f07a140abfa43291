#!/usr/bin/env bash
# Builds Setup.exe with the sample payload and runs it under Wine the way a
# user would start it, on a private prefix, wineserver and display. Prints
# Setup.log and the exit code; afterwards the sample product is installed in
# that prefix (build/wineprefix-run-<arch>).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

ulverane_prepare
ulverane_configure "$build/$arch" "$arch"
cmake --build "$build/$arch" -j "$(nproc)"
if [ "$arch" != i686 ]; then
  echo "This machine runs no 32-bit code: running the 64-bit build of the same sources."
fi

prefix="$build/wineprefix-run-$arch"
trap ulverane_wine_stop EXIT
ulverane_wine_start "$prefix" "$arch"

echo "== Running Setup.exe"
status=0
"$ULVERANE_WINE" "$build/$arch/Setup.exe" || status=$?

log=$(find "$prefix/drive_c/users" -path '*UlveraneSetup*' -name Setup.log -printf '%T@ %p\n' 2>/dev/null |
  sort -n | tail -n 1 | cut -d' ' -f2-)
if [ -n "$log" ]; then
  echo "== $log"
  cat "$log"
  echo "== Working folder now holds:"
  ls -A "$(dirname "$log")"
fi
echo "== Installed:"
find "$prefix/drive_c" -path '*Ulverane Photo*' -type f 2>/dev/null || true
echo "== Setup.exe exit code: $status"
exit "$status"

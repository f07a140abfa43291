#!/usr/bin/env bash
# Builds the 32-bit Setup.exe with the sample payload and runs it under Wine
# the way a user of 64-bit Windows would start it, on a private win64 prefix,
# wineserver and display. Prints Setup.log and the exit code; afterwards the
# sample product is installed in that prefix (build/wineprefix-run).
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
ulverane_configure "$build/i686" i686
cmake --build "$build/i686" -j "$(nproc)"

prefix="$build/wineprefix-run"
ulverane_session_start "$prefix"
echo "== Running the 32-bit Setup.exe ($ulverane_i386_lane)"
status=0
"$ULVERANE_WINE" "$build/i686/Setup.exe" || status=$?

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

#!/usr/bin/env bash
# Makes the documentation's pictures of the package modes: builds the 32-bit
# Setup.exe and the tour program, walks through "/extract" (options, the
# agreement, the completion dialog) and "/defaults" under Wine on a private
# display, then the progress window of a default run whose writes the fault
# DLL slows, and writes PNG files into docs/.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
ulverane_configure "$build/test-i686" i686 -DULVERANE_BUILD_TESTS=ON
cmake --build "$build/test-i686" -j "$(nproc)" --target Setup screenshot_tour fault_injection

shots="$build/screenshots"
rm -rf "$shots"
mkdir -p "$shots" "$repo_root/docs"
ulverane_session_start "$build/wineprefix-win64"
status=0
"$ULVERANE_WINE" "$build/test-i686/tests/screenshot_tour.exe" \
  "$("$ULVERANE_WINE" winepath -w "$build/test-i686/Setup.exe" 2>/dev/null)" \
  "$("$ULVERANE_WINE" winepath -w "$shots" 2>/dev/null)" \
  "$("$ULVERANE_WINE" winepath -w "$build/test-i686/tests/fault/fault_injection.dll" 2>/dev/null)" \
  >/dev/null 2>&1 || status=$?
if [ "$status" != 0 ]; then
  echo "$status dialog(s) did not show" >&2
  exit 1
fi
for bitmap in "$shots"/*.bmp; do
  name=$(basename "$bitmap" .bmp)
  python3 "$repo_root/tests/support/bmp_to_png.py" "$bitmap" "$repo_root/docs/$name.png"
  echo "docs/$name.png"
done

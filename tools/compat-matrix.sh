#!/usr/bin/env bash
# Runs the 32-bit setup across a pairwise cover of the settings Wine can
# vary (Windows version, ANSI code page, DPI, user profile, %TEMP%), each
# cell in a prefix of its own: "/help", the default run and a driven
# "/extract" (tests/compat/compat_matrix.py). One line per cell and a summary;
# exits non-zero when a cell failed.
#   bash tools/compat-matrix.sh [--quick | --cell <labels>...]
# --quick runs the three cells that the test command runs; --cell one cell by
# its labels ("10,65001,96,non-ASCII,near MAX_PATH"). Uses the test build and
# prefix of tools/test.sh, made here if missing.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
if [ "$arch" != i686 ]; then
  echo "The matrix runs the 32-bit image only" >&2
  exit 2
fi
ulverane_build_lanes "$build/i686" "$build/test-i686" i686 >/dev/null

ulverane_session_start "$build/wineprefix-win64"
ulverane_compat_matrix "$build/test-i686" "$build/wineprefix-win64" "$@"

#!/usr/bin/env bash
# Builds Setup.exe and every test program, then runs all tests under Wine on
# a private prefix, wineserver and display, which it stops again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

ulverane_prepare
jobs=$(nproc)

echo "== Building the product (i686)"
ulverane_configure "$build/i686" i686
cmake --build "$build/i686" -j "$jobs"

if [ "$arch" != i686 ]; then
  echo "== This machine runs no 32-bit code: the tests run a 64-bit build of the same sources"
fi
echo "== Building the tests ($arch)"
ulverane_configure "$build/test-$arch" "$arch" -DULVERANE_BUILD_TESTS=ON \
  -DULVERANE_PRODUCT_SETUP="$build/i686/Setup.exe" \
  -DULVERANE_PRODUCT_PAYLOAD_DIR="$build/i686/sample-payload"
cmake --build "$build/test-$arch" -j "$jobs"

prefix="$build/wineprefix-$arch"
trap ulverane_wine_stop EXIT
ulverane_wine_start "$prefix" "$arch"
# A run that fails may leave the prefix changed; only a clean run keeps it.
rm -f "$prefix/.ulverane-ready"

echo "== Running the tests"
status=0
ctest --test-dir "$build/test-$arch" --output-on-failure -j "$jobs" "$@" || status=$?
if [ "$status" = 0 ]; then
  touch "$prefix/.ulverane-ready"
fi
exit "$status"

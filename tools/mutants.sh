#!/usr/bin/env bash
# Puts the faults of tests/mutants.py into the product one at a time, on the
# 32-bit lane, and shows that the tests catch each. Builds in
# build/mutants-*; the Wine session is started once for the whole table.
#   bash tools/mutants.sh [part of a mutant's name...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

ulverane_prepare
product="$build/mutants-i686"
tests="$build/mutants-test-i686"
ulverane_configure "$product" i686
ulverane_configure "$tests" i686 -DULVERANE_BUILD_TESTS=ON -DULVERANE_PRODUCT_SETUP="$product/Setup.exe" \
  -DULVERANE_PRODUCT_PAYLOAD_DIR="$product/sample-payload"
build_both="cmake --build $product -j $(nproc) && cmake --build $tests -j $(nproc)"
bash -c "$build_both" >/dev/null
ulverane_session_start "$build/wineprefix-mutants"
python3 "$repo_root/tests/mutants.py" bash -c "$build_both" -- \
  ctest --test-dir "$tests" -j "$(nproc)" --resource-spec-file "$repo_root/tests/resources.json" \
  -- "$@"

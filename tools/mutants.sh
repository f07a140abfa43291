#!/usr/bin/env bash
# Puts the faults of tests/mutants.py into the product one at a time, on the
# 32-bit lane, and shows that the tests catch each. Builds in
# build/mutants-*; the Wine session is started once for the whole table.
#   bash tools/mutants.sh [part of a mutant's name...]
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
product="$build/mutants-i686"
tests="$build/mutants-test-i686"
ulverane_build_lanes "$product" "$tests" i686 >/dev/null
build_both="cmake --build $product -j $(nproc) && cmake --build $tests -j $(nproc)"
ulverane_session_start "$build/wineprefix-mutants"
python3 "$repo_root/tests/mutants.py" bash -c "$build_both" -- \
  ctest --test-dir "$tests" -j "$(nproc)" --resource-spec-file "$repo_root/tests/resources.json" \
  -- "$@"

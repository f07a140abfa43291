#!/usr/bin/env bash
# Builds Setup.exe and every test program for 32-bit Windows, then runs all
# tests in a win64 Wine prefix, as on 64-bit Windows (WoW64): natively where
# the machine runs 32-bit code, through qemu-user where it does not. The
# prefix, wineserver, display and emulator registration are private to the
# run and stopped again, also on failure.
#
# ULVERANE_ARCH=x86_64 runs the quick extra lane instead: the same sources
# built for 64-bit Windows. It never replaces the 32-bit lane. After the
# Windows tests, the resource reader's fuzz target runs on the host
# (tools/fuzz.sh).
# Extra arguments go to ctest (bash tools/test.sh -R app_tests).
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
started=$(date +%s)
ulverane_build_lanes "$build/i686" "$build/test-$arch" "$arch"

prefix="$build/wineprefix-win64"
ulverane_session_start "$prefix"
# A run that fails may leave the prefix changed; only a clean run keeps it.
rm -f "$prefix/.ulverane-ready"
if [ "$arch" = i686 ]; then
  lane="32-bit programs (i686) in a win64 prefix, $ulverane_i386_lane"
else
  lane="64-bit programs (x86_64), the quick extra lane; the product lane is i686"
fi
echo "== Running the tests: $lane"
status=0
ctest --test-dir "$build/test-$arch" --output-on-failure -j "$(nproc)" \
  --resource-spec-file "$repo_root/tests/resources.json" "$@" || status=$?
if [ "$status" = 0 ]; then
  touch "$prefix/.ulverane-ready"
fi
if [ "$arch" = i686 ]; then
  # Three cells of the compatibility matrix (tools/compat-matrix.sh).
  ulverane_compat_matrix "$build/test-$arch" "$prefix" --quick || status=$?
fi
# Two clean builds of the product in other folders give the same bytes.
bash "$repo_root/tools/check-reproducible.sh" || status=$?
# The resource reader on the host, under sanitizers: every input of the
# corpus, then a short fuzzing run from there (ULVERANE_FUZZ_SECONDS).
bash "$repo_root/tools/fuzz.sh" 0 || status=$?
bash "$repo_root/tools/fuzz.sh" "${ULVERANE_FUZZ_SECONDS:-45}" || status=$?
echo "== Lane: $lane; $(($(date +%s) - started)) s in all"
exit "$status"

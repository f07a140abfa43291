#!/usr/bin/env bash
# Fails the system calls of the 32-bit Setup.exe one after the other, in its
# default run and in "/extract" and "/defaults", and checks the invariants
# after every run (tests/fault/fault_sweep.py says which).
#
#   bash tools/fault-sweep.sh [default|extract|defaults|all] [--every]
#
# Without --every, each distinct calling place fails once (its first call);
# with it, every call does. Runs in a prefix of its own; exits non-zero when
# an invariant broke, leaving those runs in build/fault-sweep.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ULVERANE_ARCH=i686 ulverane_prepare
ulverane_build_lanes "$build/i686" "$build/test-i686" i686 fault_driver fault_injection setup_e2e

ulverane_session_start "$build/wineprefix-fault"
echo "== Fault sweep: 32-bit programs (i686) in a win64 prefix, $ulverane_i386_lane"
python3 "$repo_root/tests/fault/fault_sweep.py" --build "$build/test-i686" \
  --product "$build/i686/Setup.exe" --package "$build/i686/sample-payload/Ulverane.msi" \
  --work "$build/fault-sweep" "$@"

#!/usr/bin/env bash
# Rewrites the generated seeds of the fuzz target's corpus (fuzz/corpus): the
# images of the resource reader's tests, and the resource section of a
# Setup.exe built with a payload of a few bytes per file. The regression
# inputs there stay as they are.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
payload="$build/fuzz-seeds/payload"
rm -rf "$payload"
while read -r id file; do
  mkdir -p "$(dirname "$payload/$file")"
  printf 'BIN %s\n' "$id" >"$payload/$file"
done < <(python3 "$repo_root/tests/support/product.py")
ulverane_configure "$build/fuzz-seeds/i686" i686 -DULVERANE_PAYLOAD_DIR="$payload"
cmake --build "$build/fuzz-seeds/i686" -j 2 --target Setup

cmake -S "$repo_root/fuzz" -B "$build/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build/fuzz" -j 2 --target write_seeds
rm -f "$repo_root"/fuzz/corpus/pe-writer-* "$repo_root"/fuzz/corpus/setup-exe-*
"$build/fuzz/write_seeds" "$repo_root/fuzz/corpus" "$build/fuzz-seeds/i686/Setup.exe"
ls -l "$repo_root/fuzz/corpus"

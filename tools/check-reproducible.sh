#!/usr/bin/env bash
# Builds the 32-bit Setup.exe twice from scratch, with the same sources and
# payload: once from this checkout, once from a copy of its files elsewhere,
# in build folders of different names and lengths, with the files' times
# changed. Compares the images byte for byte, prints both SHA-256 hashes, and
# fails when they differ. Extra arguments go to CMake (for example
# -DULVERANE_PAYLOAD_DIR=...).
set -euo pipefail
source "$(dirname "$0")/common.sh"

ulverane_prepare
first="$build/reproducible-a"
second="$build/reproducible-check-second"
copy="$build/reproducible-sources"
rm -rf "$first" "$second" "$copy"
mkdir -p "$copy"
(cd "$repo_root" && git ls-files -z | xargs -0 cp --parents -t "$copy")
find "$copy" -type f -exec touch -d "2001-02-03 04:05:06" {} +
ulverane_configure "$first" i686 "$@"
cmake --build "$first" -j "$(nproc)" --target Setup >/dev/null
ulverane_sources=$copy ulverane_configure "$second" i686 "$@"
cmake --build "$second" -j "$(nproc)" --target Setup >/dev/null
read -r a _ < <(sha256sum "$first/Setup.exe")
read -r b _ < <(sha256sum "$second/Setup.exe")
echo "== Reproducible build: $a ($first/Setup.exe)"
echo "==                     $b ($second/Setup.exe)"
if [ "$a" != "$b" ]; then
  echo "The two builds differ:" >&2
  cmp -l "$first/Setup.exe" "$second/Setup.exe" | head -n 20 >&2 || true
  exit 1
fi
rm -rf "$first" "$second" "$copy"

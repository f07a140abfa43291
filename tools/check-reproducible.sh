#!/usr/bin/env bash
# Builds the 32-bit Setup.exe twice from scratch, with the same sources and
# payload, in two build folders of different names and lengths, and compares
# the images byte for byte. Prints both SHA-256 hashes; fails when they differ.
# Extra arguments go to CMake (for example -DULVERANE_PAYLOAD_DIR=...).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

ulverane_prepare
first="$build/reproducible-a"
second="$build/reproducible-check-second"
for dir in "$first" "$second"; do
  rm -rf "$dir"
  ulverane_configure "$dir" i686 "$@"
  cmake --build "$dir" -j "$(nproc)" --target Setup >/dev/null
done
a=$(sha256sum "$first/Setup.exe" | cut -d' ' -f1)
b=$(sha256sum "$second/Setup.exe" | cut -d' ' -f1)
echo "== Reproducible build: $a ($first/Setup.exe)"
echo "==                     $b ($second/Setup.exe)"
if [ "$a" != "$b" ]; then
  echo "The two builds differ:" >&2
  cmp -l "$first/Setup.exe" "$second/Setup.exe" | head -n 20 >&2 || true
  exit 1
fi
rm -rf "$first" "$second"

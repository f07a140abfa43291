#!/usr/bin/env bash
# Fuzzes the resource reader on the host: builds the fuzz target with clang,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs it for
# [seconds] (default 60; 0 runs the inputs only, without fuzzing) over the
# checked-in corpus (fuzz/corpus), the inputs it found before
# (build/fuzz/corpus) and any extra input folders, fuzzing on from all of
# them. Arguments that start with '-' go to libFuzzer (-runs=10000000).
# Prints libFuzzer's summary; exits non-zero on a crash, whose input is left
# in build/fuzz/artifacts.
#
#   bash tools/fuzz.sh [seconds] [extra input folders...]
set -euo pipefail
source "$(dirname "$0")/common.sh"

seconds=60
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
  seconds=$1
  shift
fi
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: bash tools/fuzz.sh [seconds] [extra input folders...]" >&2
  exit 2
fi
folders=()
options=()
for arg in "$@"; do
  if [[ $arg == -* ]]; then
    options+=("$arg")
  elif [ -d "$arg" ]; then
    folders+=("$arg")
  else
    echo "No such folder: $arg" >&2
    exit 2
  fi
done

ulverane_prepare
out="$build/fuzz"
cmake -S "$repo_root/fuzz" -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$out" -j 2 --target resource_locator_fuzzer >/dev/null
mkdir -p "$out/corpus" "$out/artifacts"

if [ "$seconds" = 0 ]; then
  limit=(-runs=0)
  echo "== Running the fuzz target over its inputs"
else
  limit=(-max_total_time="$seconds")
  echo "== Fuzzing the resource reader for $seconds s"
fi
log="$out/fuzz.log"
status=0
started=$(date +%s%N)
# New inputs go to the first folder, never into the checked-in corpus.
"$out/resource_locator_fuzzer" -dict="$repo_root/fuzz/resource_locator.dict" \
  -timeout=10 -print_final_stats=1 -artifact_prefix="$out/artifacts/" "${limit[@]}" \
  "${options[@]}" "$out/corpus" "$repo_root/fuzz/corpus" "${folders[@]}" >"$log" 2>&1 ||
  status=$?
wall_ms=$((($(date +%s%N) - started) / 1000000))

grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+(INITED|DONE)|Done [0-9]+ runs|stat::)' "$log" || true
if [ "$status" != 0 ]; then
  echo "== The fuzz target crashed (exit $status); the end of $log:"
  tail -n 60 "$log"
  exit "$status"
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
edges=$(sed -n 's/^#[0-9]*[[:space:]]*DONE[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log")
printf '== Fuzzing: %s executions, %s edges covered, %d.%03d s wall time, no crash\n' \
  "$runs" "$edges" $((wall_ms / 1000)) $((wall_ms % 1000))

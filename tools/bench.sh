#!/usr/bin/env bash
# The benchmarks: figures, never a pass or a fail.
#
#   bash tools/bench.sh extract [rounds]   the payload reader on a 460 MB resource
#   bash tools/bench.sh setup [rounds]     the whole default run against an anchor
#   bash tools/bench.sh start [rounds]     process start to the first window
#   bash tools/bench.sh package [rounds]   "/extract" of a 460 MB package
#
# Each is bench/<name>.sh over the shared harness bench/common.sh; its header
# says what it builds, runs and prints (docs/benchmarks.md).
set -euo pipefail
bench_name=${1:-}
case "$bench_name" in
  extract | setup | start | package) shift ;;
  *)
    sed -n '2,10s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
source "$(cd "$(dirname "$0")/.." && pwd)/bench/common.sh"
source "$repo_root/bench/$bench_name.sh"

# Sourced by tools/bench.sh, after bench/common.sh.
# Measures how long Setup.exe takes to show its first window.
#
# Usage: bash tools/bench.sh start [rounds]  (rounds: at least 5, default 5)
#
# Builds the product with its sample payload for 32-bit (build/bench-i686)
# and 64-bit Windows (build/bench-x86_64), and the 64-bit timing program
# (bench/start_bench.cpp), which is the same in every lane. On the Wine
# prefix build/wineprefix-bench-start it times, from the start of the
# process to its first visible window, a dialog in both modes,
# "Setup.exe /help" (its message box, then closed with OK) and
# "Setup.exe /extract" (the options dialog, then cancelled), after one
# warm-up round per lane, for:
#   - the 32-bit image run natively (where the machine runs 32-bit code and
#     ULVERANE_I386_EMULATION is not 1);
#   - the 32-bit image run through qemu-user: qemu-i386 is registered for
#     i386 programs for these rounds only (binfmt_misc, machine-wide);
#   - the 64-bit build, natively.
# It prints each round, then a table of the medians and the ratio
# /extract : /help per lane. Figures only; nothing fails on timing.

bench_rounds "${1:-5}" 5
for tree in i686 x86_64; do
  echo "== Building the product ($tree) in $build/bench-$tree"
  bench_compile "$build/bench-$tree" "$tree" Setup
done
echo "== Building the timing program in $build/bench-x86_64"
bench_driver start_bench

bench_prefix=$build/wineprefix-bench-start
bench_out=$build/bench-start-out
bench_start

# measure <setup-exe> <argument> <command-id>: seconds to the first window.
measure() {
  local line
  bench_warm "$1"
  line=$(bench_wine "$driver" "$(bench_win_path "$1")" "$2" "$3")
  if [ "$(bench_field class "$line")" != '#32770' ] ||
     [ "$(bench_field caption "$line")" != Ulverane_Photo_Setup ] ||
     [ "$(bench_field exit "$line")" != 0 ]; then
    echo "unexpected start of $1 $2: $line" >&2
    exit 1
  fi
  bench_field window_s "$line"
}

# A round of run_lane, in its variables.
measure_round() {
  help=$(measure "$setup" /help 1)
  extract=$(measure "$setup" /extract 2)
}
report_round() {
  printf '%-8s /help %ss  /extract %ss\n' "$label" "$help" "$extract"
  if ! bench_warm_up; then
    h+=("$help") e+=("$extract") r+=("$(bench_calc "$extract / $help")")
  fi
}

lanes=() helps=() extracts=() ratios=()
# run_lane <setup-exe> <lane>: the rounds of one lane; appends its medians.
run_lane() {
  local setup=$1 lane=$2 help extract h=() e=() r=()
  echo "== $lane: $setup"
  bench_each_round "$lane" measure_round report_round
  lanes+=("$lane")
  helps+=("$(bench_median "${h[@]}")")
  extracts+=("$(bench_median "${e[@]}")")
  ratios+=("$(bench_calc "$(bench_median "${r[@]}")")")
}

setup32=$build/bench-i686/Setup.exe
setup64=$build/bench-x86_64/Setup.exe
if [ "$ulverane_i386_lane" = native ]; then
  run_lane "$setup32" "$(bench_lane_of i686)"
  run_lane "$setup64" "$(bench_lane_of x86_64)"
  # The emulator for the 32-bit half of Wine, for these rounds only.
  ULVERANE_I386_EMULATION=1 ulverane_emulation_start
  run_lane "$setup32" "$(bench_lane_of i686)"
  ulverane_emulation_stop
  ulverane_i386_lane=native
else
  echo "== 32-bit programs run through qemu-user in this run; no native 32-bit lane"
  run_lane "$setup32" "$(bench_lane_of i686)"
  run_lane "$setup64" "$(bench_lane_of x86_64)"
fi

echo "== Medians over $rounds rounds: process start to first visible window"
printf '%10s %12s %17s  %s\n' "/help (s)" "/extract (s)" "/extract : /help" lane
for i in "${!lanes[@]}"; do
  printf '%10s %12s %17s  %s\n' "${helps[$i]}" "${extracts[$i]}" "${ratios[$i]}" "${lanes[$i]}"
done
echo "(/extract : /help is the median of the rounds' ratios)"

# Sourced by tools/bench.sh, after bench/common.sh.
# Measures the full default run of a setup executable.
#
# Usage: bash tools/bench.sh setup [rounds]  (rounds: at least 7, default 7)
#
# Builds in build/bench-<arch> (i686, the 32-bit product, unless
# ULVERANE_ARCH=x86_64) a setup executable whose payload holds a
# 481,894,400-byte Ulverane.msi and, as SetupUI.exe, a stub that records when
# it ran and exits with 0 (bench/setupui_stub.cpp); the same with a 1-byte
# package; and the anchor (bench/setup_anchor.cpp), a minimal program that
# does what the setup must and nothing else. On the Wine prefix
# build/wineprefix-bench-<arch> (32-bit programs natively where the machine
# runs them, else, or with ULVERANE_I386_EMULATION=1, through qemu-user),
# after one warm-up round, each round:
#   - runs the large setup without arguments (bench/setup_bench.cpp): time
#     from its start to the stub's, from the stub to the setup's exit
#     (clean-up), the total, and the setup's peak working set; checks that
#     its working folder holds only Setup.log, then removes that folder;
#   - starts the anchor the same way: it copies the same thirteen resource
#     ranges out of the large setup in 1 MiB ReadFile/WriteFile steps into a
#     fresh folder in %TEMP%, starts the copied stub with ShellExecuteExW,
#     waits for it and deletes what it copied; the same times, and a check
#     that nothing is left (the setup and the anchor take turns going first);
#   - copies the same ranges the plain Win32 way into %TEMP% within one
#     running process (no process start), then deletes them;
#   - runs the 1-byte setup the same way, for its peak working set, and
#     once more with 500 folders of finished runs waiting in
#     %TEMP%\UlveraneSetup, which its clean-up of interrupted runs must look
#     into and leave alone (their logs must stay).
# It prints the image and lane measured, each round, the median of (start to
# SetupUI) / (the anchor's start to SetupUI) and of (start to SetupUI) /
# (plain copy), the same start time of the 1-byte setup (all that does not
# depend on the package), the median clean-up times, and the peak working
# sets, and the 1-byte setup's start time with the 500 leftover folders
# against none. Figures only; nothing fails on timing. Each run starts with
# the executables it reads in the page cache (bench_warm).

bench_prepare "${1:-7}" 7 setup_bench setup_anchor bench_setup_big bench_setup_tiny
big_exe=$exe_dir/bench_setup_big.exe

# Every payload file's range in the large setup, as setup_bench takes them.
ranges=()
total_bytes=0
names=(DotNet.exe SetupUI.exe SetupUI.exe.config Ulverane.msi)
for culture in $bench_cultures; do
  names+=("$culture/SetupUI.resources.dll")
done
for index in "${!names[@]}"; do
  read -r offset size < <(bench_resource "$big_exe" $((132 + index)))
  ranges+=("$offset:$size:${names[$index]}")
  total_bytes=$((total_bytes + size))
done
echo "== Payload of bench_setup_big.exe: ${#ranges[@]} files, $total_bytes bytes"

bench_start
program=$exe_dir/setup_bench.exe
leftover_folders=500

# run <exe> [<leftovers>]: one setup run; fails the benchmark on any surprise.
run() {
  local line
  bench_warm "$1"
  line=$(bench_wine "$program" run "$(bench_win_path "$1")" ${2:+"$2"})
  if [ "$(bench_field exit "$line")" != 0 ] || [ "$(bench_field folder "$line")" != only-Setup.log ] ||
     ! [[ "$(bench_field peak_ws "$line")" =~ ^[0-9]+$ ]]; then
    echo "unexpected run of $1: $line" >&2
    exit 1
  fi
  echo "$line"
}

# One run of the anchor on the large setup's ranges.
anchor() {
  local line
  bench_warm "$big_exe" "$exe_dir/setup_anchor.exe"
  line=$(bench_wine "$program" anchor "$(bench_win_path "$exe_dir/setup_anchor.exe")" \
           "$(bench_win_path "$big_exe")" "${ranges[@]}")
  if [ "$(bench_field exit "$line")" != 0 ] || [ "$(bench_field folder "$line")" != cleaned ]; then
    echo "unexpected run of the anchor: $line" >&2
    exit 1
  fi
  echo "$line"
}

# One round: the large setup and the anchor, in turns first, the plain copy,
# then the 1-byte setup.
measure_round() {
  if [ $((round % 2)) = 0 ]; then
    big=$(run "$big_exe")
    anchored=$(anchor)
  else
    anchored=$(anchor)
    big=$(run "$big_exe")
  fi
  bench_warm "$big_exe"
  copy=$(bench_wine "$program" copies "$(bench_win_path "$big_exe")" "${ranges[@]}")
  tiny=$(run "$exe_dir/bench_setup_tiny.exe")
  crowded=$(run "$exe_dir/bench_setup_tiny.exe" "$leftover_folders")

  launch=$(bench_field launch_s "$big")
  cleanup=$(bench_field cleanup_s "$big")
  total=$(bench_field total_s "$big")
  peak_big=$(bench_field peak_ws "$big")
  peak_tiny=$(bench_field peak_ws "$tiny")
  tiny_launch=$(bench_field launch_s "$tiny")
  crowded_launch=$(bench_field launch_s "$crowded")
  copy_s=$(bench_field copy_s "$copy")
  ratio=$(bench_calc "$launch / $copy_s")
  anchor_launch=$(bench_field launch_s "$anchored")
  anchor_ratio=$(bench_calc "$launch / $anchor_launch")
}

launches=() cleanups=() totals=() copies=() ratios=() peaks_big=() peaks_tiny=()
tiny_launches=() crowded_launches=() crowded_ratios=() anchor_launches=() anchor_cleanups=() anchor_ratios=()
report_round() {
  printf '%-8s start->SetupUI %ss, clean-up %ss, total %ss; plain copy %ss (delete %ss);' \
    "$label" "$launch" "$cleanup" "$total" "$copy_s" "$(bench_field delete_s "$copy")"
  printf ' ratio %s; peak working set big %s B, tiny %s B; folder %s\n' \
    "$ratio" "$peak_big" "$peak_tiny" "$(bench_field folder "$big")"
  printf '%-8s anchor: start->SetupUI %ss, clean-up %ss; setup/anchor %s; peak working set %s B\n' \
    "" "$anchor_launch" "$(bench_field cleanup_s "$anchored")" "$anchor_ratio" \
    "$(bench_field peak_ws "$anchored")"
  printf '%-8s 1-byte setup: start->SetupUI %ss, clean-up %ss; with %s leftover folders %ss\n' \
    "" "$tiny_launch" "$(bench_field cleanup_s "$tiny")" "$leftover_folders" "$crowded_launch"
  if ! bench_warm_up; then
    anchor_launches+=("$anchor_launch") anchor_ratios+=("$anchor_ratio")
    anchor_cleanups+=("$(bench_field cleanup_s "$anchored")")
    launches+=("$launch") cleanups+=("$cleanup") totals+=("$total") copies+=("$copy_s")
    ratios+=("$ratio") peaks_big+=("$peak_big") peaks_tiny+=("$peak_tiny")
    tiny_launches+=("$tiny_launch") crowded_launches+=("$crowded_launch")
    crowded_ratios+=("$(bench_calc "$crowded_launch / $tiny_launch")")
  fi
}
bench_each_round "$bench_lane" measure_round report_round

echo "== Medians over $rounds rounds: $bench_lane"
echo "start -> SetupUI launch:         $(bench_median "${launches[@]}") s"
echo "anchor start -> SetupUI launch:  $(bench_median "${anchor_launches[@]}") s"
echo "(start -> SetupUI) / anchor:     $(bench_calc "$(bench_median "${anchor_ratios[@]}")")" \
     "(median of the rounds' ratios; ratio of the medians" \
     "$(bench_calc "$(bench_median "${launches[@]}") / $(bench_median "${anchor_launches[@]}")"))"
echo "plain copy of the 13 files:      $(bench_median "${copies[@]}") s"
echo "(start -> SetupUI) / plain copy: $(bench_calc "$(bench_median "${ratios[@]}")")"
echo "start -> SetupUI, 1-byte setup:  $(bench_median "${tiny_launches[@]}") s (process starts and" \
     "everything but the package's bytes)"
echo "the same with $leftover_folders leftover folders: $(bench_median "${crowded_launches[@]}") s;" \
     "ratio $(bench_calc "$(bench_median "${crowded_ratios[@]}")") (median of the rounds' ratios)"
echo "SetupUI exit -> setup exit:      $(bench_median "${cleanups[@]}") s" \
     "(anchor: $(bench_median "${anchor_cleanups[@]}") s)"
echo "total:                           $(bench_median "${totals[@]}") s"
bench_peaks setup "$(bench_median "${peaks_big[@]}")" "$(bench_median "${peaks_tiny[@]}")" 1-byte

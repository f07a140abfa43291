#!/usr/bin/env bash
# The benchmarks: figures, never a pass or a fail (docs/benchmarks.md).
#
#   bash tools/bench.sh extract [rounds]   the payload reader on a 460 MB resource
#   bash tools/bench.sh setup [rounds]     the whole default run against an anchor
#   bash tools/bench.sh start [rounds]     process start to the first window
#   bash tools/bench.sh package [rounds]   "/extract" of a 460 MB package
#
# Each is a function below over the shared harness bench/common.sh, after one
# warm-up round; each output is checked only so far as to know the run was
# complete (the tests check what it wrote).
set -euo pipefail
bench_name=${1:-}
case "$bench_name" in
  extract | setup | start | package) shift ;;
  *)
    sed -n '2,7s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
source "$(cd "$(dirname "$0")/.." && pwd)/bench/common.sh"

# extract (rounds >= 3, default 5): in turn a) ExecutableImage +
# ExtractResource(135) of bench_setup_big.exe under Wine, b) a plain 1 MiB
# ReadFile/WriteFile copy of the same bytes under Wine, c) dd of them on the
# host; then the 1-byte package's extraction for its peak working set. The
# warm-up round compares each output with the payload file. Then the CRC-32C
# throughput of each way and the way the setup picks.
benchmark_extract() {
  bench_prepare "${1:-5}" 3 extract_bench bench_setup_big bench_setup_tiny
  big_exe=$exe_dir/bench_setup_big.exe
  bench_resource "$big_exe" 135 "$bench_package_size"
  echo "== Ulverane.msi: $bench_package_size bytes at offset $offset of bench_setup_big.exe"
  bench_start
  program=$exe_dir/extract_bench.exe
  bench_each_round "$bench_lane" extract_round extract_report
  local ma mb mc
  ma=$(med a.seconds) mb=$(med b.seconds) mc=$(med c)
  echo "== Medians over $rounds rounds ($bench_package_size bytes): $bench_lane"
  echo "a extract (ExecutableImage + ExtractResource): $ma s"
  echo "b plain Win32 copy under Wine:                  $mb s"
  echo "c host dd:                                      $mc s"
  echo "a/b = $(bench_calc "$ma / $mb")   a/c = $(bench_calc "$ma / $mc")"
  bench_peaks extract a tiny 1-byte
  bench_run crc "$program" crc 64
  echo "CRC-32C in memory, GB/s over 64 MiB (best of 5) / over a 1 MiB chunk (best of 50):"
  for way in table instruction folding wide; do
    printf '  %-12s %s / %s\n' "$way" "${crc[${way}_gbps]}" "${crc[${way}_chunk_gbps]}"
  done
  echo "the setup picks the ${crc[chosen]} way here"
}

# extract_output <file> <size> <package>: fails the run on a wrong output
# (compared with <package> in the warm-up round), then removes it.
extract_output() {
  local actual
  actual=$(bench_size "$1")
  [ "$actual" = "$2" ] || bench_fail "$1: $actual bytes, expected $2"
  bench_warm_up && cmp "$1" "$bench_data/$3/Ulverane.msi"
  rm -f "$1"
  sync
}

extract_round() {
  bench_warm "$big_exe"
  bench_run a "$program" extract "$(bench_win_path "$exe_dir")" bench_setup_big.exe \
    "$(bench_win_path "$bench_out/extract.bin")"
  extract_output "$bench_out/extract.bin" "$bench_package_size" big
  bench_warm "$big_exe"
  bench_run b "$program" copy "$(bench_win_path "$big_exe")" "$offset" "$bench_package_size" \
    "$(bench_win_path "$bench_out/copy.bin")"
  extract_output "$bench_out/copy.bin" "$bench_package_size" big
  bench_warm "$big_exe"
  local start=$EPOCHREALTIME end
  dd if="$big_exe" of="$bench_out/dd.bin" bs=1M iflag=skip_bytes,count_bytes \
    skip="$offset" count="$bench_package_size" status=none
  end=$EPOCHREALTIME
  c=$(bench_calc "$end - $start")
  extract_output "$bench_out/dd.bin" "$bench_package_size" big
  bench_warm "$exe_dir/bench_setup_tiny.exe"
  bench_run tiny "$program" extract "$(bench_win_path "$exe_dir")" bench_setup_tiny.exe \
    "$(bench_win_path "$bench_out/tiny.bin")"
  extract_output "$bench_out/tiny.bin" 1 tiny
}

extract_report() {
  printf '%-8s a=%ss b=%ss c=%ss  peak working set: big %s B, tiny %s B\n' \
    "$label" "${a[seconds]}" "${b[seconds]}" "$c" "${a[peak_ws]}" "${tiny[peak_ws]}"
  keep_fields a
  keep_fields b
  keep_fields tiny
  keep c "$c"
}

# setup (rounds >= 7, default 7): each round runs bench_setup_big.exe (whose
# SetupUI.exe is the stub, bench/setupui_stub.cpp) without arguments and the
# anchor (bench/setup_anchor.cpp: the least a run must do, started the same
# way, on the same thirteen resource ranges), taking turns going first; a
# plain copy of those ranges within one process; and the 1-byte setup, alone
# and with 500 folders of finished runs waiting in %TEMP%\UlveraneSetup.
benchmark_setup() {
  bench_prepare "${1:-7}" 7 setup_bench setup_anchor bench_setup_big bench_setup_tiny
  big_exe=$exe_dir/bench_setup_big.exe
  # Every payload file's range in the large setup, as setup_bench takes them.
  local names=(DotNet.exe SetupUI.exe SetupUI.exe.config Ulverane.msi) index total_bytes=0
  for culture in $bench_cultures; do
    names+=("$culture/SetupUI.resources.dll")
  done
  ranges=()
  for index in "${!names[@]}"; do
    bench_resource "$big_exe" $((132 + index))
    ranges+=("$offset:$size:${names[$index]}")
    total_bytes=$((total_bytes + size))
  done
  echo "== Payload of bench_setup_big.exe: ${#ranges[@]} files, $total_bytes bytes"
  bench_start
  program=$exe_dir/setup_bench.exe
  leftover_folders=500
  bench_each_round "$bench_lane" setup_round setup_report
  echo "== Medians over $rounds rounds: $bench_lane"
  echo "start -> SetupUI launch:         $(med big.launch_s) s"
  echo "anchor start -> SetupUI launch:  $(med anchored.launch_s) s"
  echo "(start -> SetupUI) / anchor:     $(bench_calc "$(med anchor_ratio)")" \
       "(median of the rounds' ratios; ratio of the medians" \
       "$(bench_calc "$(med big.launch_s) / $(med anchored.launch_s)"))"
  echo "plain copy of the 13 files:      $(med copied.copy_s) s"
  echo "(start -> SetupUI) / plain copy: $(bench_calc "$(med ratio)")"
  echo "start -> SetupUI, 1-byte setup:  $(med tiny.launch_s) s (process starts and" \
       "everything but the package's bytes)"
  echo "the same with $leftover_folders leftover folders: $(med crowded.launch_s) s;" \
       "ratio $(bench_calc "$(med crowded_ratio)") (median of the rounds' ratios)"
  echo "SetupUI exit -> setup exit:      $(med big.cleanup_s) s (anchor: $(med anchored.cleanup_s) s)"
  echo "total:                           $(med big.total_s) s"
  bench_peaks setup big tiny 1-byte
}

# setup_run <array> <exe> [<leftovers>]: one setup run into <array>.
setup_run() {
  bench_warm "$2"
  bench_run "$1" "$program" run "$(bench_win_path "$2")" ${3:+"$3"}
  bench_expect "$1" "run of $2" exit 0 folder 'only-Setup\.log' peak_ws '[0-9]+'
}

setup_anchor() {
  bench_warm "$big_exe" "$exe_dir/setup_anchor.exe"
  bench_run anchored "$program" anchor "$(bench_win_path "$exe_dir/setup_anchor.exe")" \
    "$(bench_win_path "$big_exe")" "${ranges[@]}"
  bench_expect anchored "run of the anchor" exit 0 folder cleaned
}

setup_round() {
  if [ $((round % 2)) = 0 ]; then
    setup_run big "$big_exe"
    setup_anchor
  else
    setup_anchor
    setup_run big "$big_exe"
  fi
  bench_warm "$big_exe"
  bench_run copied "$program" copies "$(bench_win_path "$big_exe")" "${ranges[@]}"
  setup_run tiny "$exe_dir/bench_setup_tiny.exe"
  setup_run crowded "$exe_dir/bench_setup_tiny.exe" "$leftover_folders"
}

setup_report() {
  local ratio anchor_ratio
  ratio=$(bench_calc "${big[launch_s]} / ${copied[copy_s]}")
  anchor_ratio=$(bench_calc "${big[launch_s]} / ${anchored[launch_s]}")
  printf '%-8s start->SetupUI %ss, clean-up %ss, total %ss; plain copy %ss (delete %ss);' \
    "$label" "${big[launch_s]}" "${big[cleanup_s]}" "${big[total_s]}" "${copied[copy_s]}" \
    "${copied[delete_s]}"
  printf ' ratio %s; peak working set big %s B, tiny %s B; folder %s\n' \
    "$ratio" "${big[peak_ws]}" "${tiny[peak_ws]}" "${big[folder]}"
  printf '%-8s anchor: start->SetupUI %ss, clean-up %ss; setup/anchor %s; peak working set %s B\n' \
    "" "${anchored[launch_s]}" "${anchored[cleanup_s]}" "$anchor_ratio" "${anchored[peak_ws]}"
  printf '%-8s 1-byte setup: start->SetupUI %ss, clean-up %ss; with %s leftover folders %ss\n' \
    "" "${tiny[launch_s]}" "${tiny[cleanup_s]}" "$leftover_folders" "${crowded[launch_s]}"
  for fields in big anchored copied tiny crowded; do
    keep_fields "$fields"
  done
  keep ratio "$ratio"
  keep anchor_ratio "$anchor_ratio"
  keep crowded_ratio "$(bench_calc "${crowded[launch_s]} / ${tiny[launch_s]}")"
}

# start (rounds >= 5, default 5): from process start to the first visible
# window, a dialog, of "Setup.exe /help" (its message box, closed with OK)
# and "Setup.exe /extract" (the options dialog, cancelled), with the product
# and its sample payload, for the 32-bit image natively (where the machine
# runs 32-bit code and ULVERANE_I386_EMULATION is not 1), the same through
# qemu-user (registered machine-wide for these rounds only) and the 64-bit
# build. The timing program is the 64-bit driver in every lane.
benchmark_start() {
  bench_rounds "${1:-5}" 5
  for tree in i686 x86_64; do
    echo "== Building the product ($tree) in $build/bench-$tree"
    bench_compile "$build/bench-$tree" "$tree" Setup
  done
  echo "== Building the timing program in $build/bench-x86_64"
  bench_driver
  bench_prefix=$build/wineprefix-bench-start
  bench_out=$build/bench-start-out
  bench_start
  lanes=() helps=() extracts=() ratios=()
  local setup32=$build/bench-i686/Setup.exe setup64=$build/bench-x86_64/Setup.exe
  if [ "$ulverane_i386_lane" = native ]; then
    start_lane "$setup32" "$(bench_lane_of i686)"
    start_lane "$setup64" "$(bench_lane_of x86_64)"
    # The emulator for the 32-bit half of Wine, for these rounds only.
    ULVERANE_I386_EMULATION=1 ulverane_emulation_start
    start_lane "$setup32" "$(bench_lane_of i686)"
    ulverane_emulation_stop
    ulverane_i386_lane=native
  else
    echo "== 32-bit programs run through qemu-user in this run; no native 32-bit lane"
    start_lane "$setup32" "$(bench_lane_of i686)"
    start_lane "$setup64" "$(bench_lane_of x86_64)"
  fi
  echo "== Medians over $rounds rounds: process start to first visible window"
  printf '%10s %12s %17s  %s\n' "/help (s)" "/extract (s)" "/extract : /help" lane
  for i in "${!lanes[@]}"; do
    printf '%10s %12s %17s  %s\n' "${helps[$i]}" "${extracts[$i]}" "${ratios[$i]}" "${lanes[$i]}"
  done
  echo "(/extract : /help is the median of the rounds' ratios)"
}

# start_lane <setup-exe> <lane>: the rounds of one lane; appends its medians.
start_lane() {
  setup=$1
  echo "== $2: $setup"
  kept=()
  bench_each_round "$2" start_round start_report
  lanes+=("$2")
  helps+=("$(med help.window_s)")
  extracts+=("$(med extract.window_s)")
  ratios+=("$(bench_calc "$(med ratio)")")
}

# start_window <array> <argument> <command-id>: seconds to the first window.
start_window() {
  bench_warm "$setup"
  bench_run "$1" "$driver" window "$(bench_win_path "$setup")" "$2" "$3"
  bench_expect "$1" "start of $setup $2" class '#32770' caption Ulverane_Photo_Setup exit 0
}

start_round() {
  start_window help /help 1
  start_window extract /extract 2
}

start_report() {
  printf '%-8s /help %ss  /extract %ss\n' "$label" "${help[window_s]}" "${extract[window_s]}"
  keep_fields help
  keep_fields extract
  keep ratio "$(bench_calc "${extract[window_s]} / ${help[window_s]}")"
}

# package (rounds >= 3, default 3): "/extract" of a wixl-built package whose
# cabinet holds one file of 460,000,000 random bytes (bench/large_package.wxs,
# made once in build/bench-<arch>/data/msi), carried as BIN 135 by
# bench_setup_msi.exe. Each round, in the order c, d, b, a (so that b and a
# each start right after a file of the package's size was deleted):
#   a  the 64-bit driver's "/extract" of it (Save, a new name in Save As, OK,
#      then Cancel in the completion dialog), timed from OK to the completion
#      dialog being visible, with the setup's peak working set then;
#   b  a plain 1 MiB ReadFile/WriteFile copy of the package under Wine, then
#      flushed to the disk, as the setup does before the saved package takes
#      the chosen file's place (extract_bench copy ... flush);
#   c  the same as a with the sample package (Setup.exe);
#   d  what the setup asks of msi.dll on a fresh copy of the large package
#      (bench/msi_commit_bench.cpp): open, the four Property rows, commit,
#      close, each timed with the bytes written; without any change; and
#      with the sample package.
# Each written package is checked for its size; in the warm-up round its
# cabinet is compared with the source's.
benchmark_package() {
  bench_rounds "${1:-3}" 3
  msi_dir=$bench_data/msi
  large_msi=$msi_dir/Ulverane.msi
  if [ ! -f "$msi_dir/.complete" ]; then
    echo "== Generating the large package with wixl in $msi_dir (once)"
    rm -rf "$msi_dir"
    mkdir -p "$msi_dir/wixl"
    head -c 460000000 /dev/urandom >"$msi_dir/wixl/Payload.bin"
    (cd "$msi_dir/wixl" && wixl -a x86 -o "$large_msi" "$repo_root/bench/large_package.wxs")
    rm -rf "$msi_dir/wixl"
    bench_small_files "$msi_dir"
    msiinfo extract "$large_msi" product.cab | sha256sum | cut -d' ' -f1 >"$msi_dir/cabinet.sha256"
    touch "$msi_dir/.complete"
  fi
  large_size=$(stat -c %s "$large_msi")
  echo "== Building the setups ($bench_arch) in $bench_build and the driver (x86_64)"
  bench_compile "$bench_build" "$bench_arch" -DULVERANE_BENCH_MSI_PAYLOAD="$msi_dir" \
    Setup bench_setup_msi extract_bench msi_commit_bench
  bench_driver
  exe_dir=$bench_build/bench
  sample_msi=$bench_build/sample-payload/Ulverane.msi
  bench_resource "$exe_dir/bench_setup_msi.exe" 135 "$large_size"
  echo "== Large package: $large_size bytes ($(msiinfo streams "$large_msi" | tr '\n' ' ')), BIN 135" \
       "of bench_setup_msi.exe at offset $offset; sample package: $(stat -c %s "$sample_msi") bytes"
  bench_start
  bench_each_round "$bench_lane" package_round package_report
  local ms mc cw
  ms=$(med large.save_s) mc=$(med copied.seconds) cw=$(med edit.commit_written)
  echo "== Medians over $rounds rounds ($large_size-byte package): $bench_lane; driver 64-bit"
  echo "a OK in Save As -> completion dialog visible: $ms s (sample package: $(med sample.save_s) s)"
  echo "b plain copy + flush of the package (Wine):   $mc s"
  echo "a/b = $(bench_calc "$ms / $mc") (median of the rounds' ratios $(bench_calc "$(med ratio)"))"
  bench_peaks setup large sample sample
  echo "msi.dll commit with the Property rows: $(med edit.commit_s) s, $(bench_mib "$cw") MiB written;" \
       "close: $(med edit.close_s) s, $(bench_mib "$(med edit.close_written)") MiB written"
  echo "msi.dll commit without any change:     $(med same.commit_s) s," \
       "$(bench_mib "$(med same.commit_written)") MiB written"
  echo "msi.dll commit, sample package:        $(med sample_edit.commit_s) s," \
       "$(bench_mib "$(med sample_edit.commit_written)") MiB written"
  echo "peak working set of msi_commit_bench: $(bench_mib "$(med edit.peak_ws_before_commit)") MiB" \
       "before the commit, $(bench_mib "$(med edit.peak_ws)") MiB after"
  if [[ "$cw" =~ ^[0-9.]+$ ]]; then
    local does=does
    awk "BEGIN { exit !($cw >= 0.9 * $large_size) }" || does="does not"
    echo "=> msi.dll $does write the whole file again on commit ($(bench_calc "$cw / $large_size") times its size)"
  fi
}

# package_saved <file> <source> [cabinet]: that the save is complete, as big
# as the package within the commit's megabyte, and with "cabinet" that its
# cabinet is the source's (what else it holds is the tests' business). Sets
# written to its size and removes it.
package_saved() {
  local expected
  written=$(bench_size "$1") expected=$(stat -c %s "$2")
  if [ "$written" = missing ] || [ $((written - expected)) -gt 1048576 ] ||
     [ $((expected - written)) -gt 1048576 ]; then
    bench_fail "$1: $written bytes, the package has $expected"
  fi
  if [ -n "${3:-}" ] &&
     [ "$(msiinfo extract "$1" product.cab | sha256sum | cut -d' ' -f1)" != "$(cat "$msi_dir/cabinet.sha256")" ]; then
    bench_fail "$1: its cabinet differs from the package's"
  fi
  rm -f "$1"
}

# package_drive <array> <setup-exe> <package> [cabinet]: one "/extract" run
# and the check of its save. Wine's own notes on the Save As dialog go to a
# file, shown on failure only.
package_drive() {
  local target=$bench_out/saved.msi errors=$bench_out/driver.err
  rm -f "$target"
  bench_warm "$2"
  bench_run "$1" "$driver" save "$(bench_win_path "$2")" "$(bench_win_path "$target")" 2>"$errors" &&
    (bench_expect "$1" "run of $2 /extract" exit 0 peak_ws '[0-9]+') || {
    cat "$errors" >&2
    exit 1
  }
  package_saved "$target" "$3" "${4:-}"
}

# package_probe <array> <package> edit|same: what msi.dll does on a fresh
# copy of it.
package_probe() {
  local work=$bench_out/probe.msi
  bench_warm "$2"
  bench_run "$1" "$exe_dir/msi_commit_bench.exe" "$(bench_win_path "$2")" "$(bench_win_path "$work")" "$3"
  bench_expect "$1" "msi_commit_bench on $2" size '.+'
  package_saved "$work" "$2"
}

package_round() {
  package_drive sample "$bench_build/Setup.exe" "$sample_msi"
  package_probe edit "$large_msi" edit
  package_probe same "$large_msi" same
  package_probe sample_edit "$sample_msi" edit
  # a and b each start right after a file of the package's size was deleted:
  # on this host, memory freed a few seconds earlier has gone back to the
  # hypervisor, and writing the package into it took four times as long.
  local target=$bench_out/copy.msi
  bench_warm "$large_msi"
  bench_run copied "$exe_dir/extract_bench.exe" copy "$(bench_win_path "$large_msi")" 0 \
    "$large_size" "$(bench_win_path "$target")" flush
  [ "$(bench_size "$target")" = "$large_size" ] || bench_fail "the plain copy wrote $(bench_size "$target") bytes"
  rm -f "$target"
  local cabinet=
  bench_warm_up && cabinet=cabinet
  package_drive large "$exe_dir/bench_setup_msi.exe" "$large_msi" "$cabinet"
}

package_report() {
  local ratio
  ratio=$(bench_calc "${large[save_s]} / ${copied[seconds]}")
  printf '%-8s a: OK -> completion %ss (package %s B, peak working set %s B); b: copy + flush %ss; a/b %s\n' \
    "$label" "${large[save_s]}" "$written" "${large[peak_ws]}" "${copied[seconds]}" "$ratio"
  printf '%-8s c: sample package: OK -> completion %ss, peak working set %s B\n' \
    "" "${sample[save_s]}" "${sample[peak_ws]}"
  printf '%-8s d: msi.dll on the large package: open %ss, rows %ss, commit %ss (wrote %s B, read %s B),' \
    "" "${edit[open_s]}" "${edit[edit_s]}" "${edit[commit_s]}" "${edit[commit_written]}" "${edit[commit_read]}"
  printf ' close %ss (wrote %s B); peak working set %s B before the commit, %s B after\n' \
    "${edit[close_s]}" "${edit[close_written]}" "${edit[peak_ws_before_commit]}" "${edit[peak_ws]}"
  printf '%-8s    no change: commit %ss (wrote %s B), close %ss (wrote %s B);' \
    "" "${same[commit_s]}" "${same[commit_written]}" "${same[close_s]}" "${same[close_written]}"
  printf ' sample package: commit %ss (wrote %s B)\n' \
    "${sample_edit[commit_s]}" "${sample_edit[commit_written]}"
  for fields in large sample edit same sample_edit copied; do
    keep_fields "$fields"
  done
  keep ratio "$ratio"
}

"benchmark_$bench_name" "$@"

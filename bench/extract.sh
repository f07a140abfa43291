# Sourced by tools/bench.sh, after bench/common.sh.
# Measures extraction of a large resource by the setup's payload reader.
#
# Usage: bash tools/bench.sh extract [rounds] (rounds: at least 3, default 5)
#
# Builds (i686, the 32-bit product, unless ULVERANE_ARCH=x86_64) a setup
# executable carrying a 481,894,400-byte Ulverane.msi and one carrying a
# 1-byte one, in build/bench-<arch> (payloads generated once and kept there),
# then runs on the Wine prefix build/wineprefix-bench-<arch> (32-bit programs
# natively where the machine runs them, else, or with
# ULVERANE_I386_EMULATION=1, through qemu-user), after one warm-up round,
# interleaved rounds of:
#   a  ExecutableImage + ExtractResource(135) under Wine (extract_bench)
#   b  a plain 1 MiB ReadFile/WriteFile copy of the same bytes under Wine
#   c  dd of the same bytes on the host
# It prints the image and lane measured, each round, the medians, a/b and
# a/c, the peak working set of the extraction for the large and the
# 1-byte package, and the throughput of the payload check's CRC-32C in
# memory, over 64 MiB and over a 1 MiB chunk in the cache as the copy
# checks it, by each way: the table, the crc32 instruction (SSE4.2),
# folding by PCLMULQDQ and wide folding by VPCLMULQDQ (AVX-512), "none"
# where the processor lacks it, and which way the setup picks there from
# CPUID (extract_bench crc). Figures only; nothing fails on timing. Each
# output is checked for size, and compared byte for byte with the payload
# file in the warm-up round.

bench_prepare "${1:-5}" 3 extract_bench bench_setup_big bench_setup_tiny
read -r offset size < <(bench_resource "$exe_dir/bench_setup_big.exe" 135)
if [ "$size" != "$bench_package_size" ]; then
  echo "BIN 135 of bench_setup_big.exe holds $size bytes, not $bench_package_size" >&2
  exit 1
fi
echo "== Ulverane.msi: $size bytes at offset $offset of bench_setup_big.exe"

bench_start
program=$exe_dir/extract_bench.exe
win_exe_dir=$(bench_win_path "$exe_dir")
source_msi=$bench_data/big/Ulverane.msi

# check <file> <expected size> <compare?>: fails the run on a wrong output.
check() {
  local actual
  actual=$(bench_size "$1")
  if [ "$actual" != "$2" ]; then
    echo "$1: $actual bytes, expected $2" >&2
    exit 1
  fi
  if [ "$3" = yes ]; then
    local reference=$source_msi
    [ "$2" = 1 ] && reference=$bench_data/tiny/Ulverane.msi
    cmp "$1" "$reference"
  fi
  rm -f "$1"
  sync
}

# One round: a, b and c, then the extraction of the 1-byte package. The
# warm-up round also compares each output with the payload file.
measure_round() {
  local compare=no target line
  bench_warm_up && compare=yes

  target=$bench_out/extract.bin
  bench_warm "$exe_dir/bench_setup_big.exe"
  line=$(bench_wine "$program" extract "$win_exe_dir" bench_setup_big.exe \
           "$(bench_win_path "$target")")
  check "$target" "$size" "$compare"
  a=$(bench_field seconds "$line")
  peak_big=$(bench_field peak_ws "$line")

  target=$bench_out/copy.bin
  bench_warm "$exe_dir/bench_setup_big.exe"
  line=$(bench_wine "$program" copy "$(bench_win_path "$exe_dir/bench_setup_big.exe")" \
           "$offset" "$size" "$(bench_win_path "$target")")
  check "$target" "$size" "$compare"
  b=$(bench_field seconds "$line")

  target=$bench_out/dd.bin
  bench_warm "$exe_dir/bench_setup_big.exe"
  local start end
  start=$EPOCHREALTIME
  dd if="$exe_dir/bench_setup_big.exe" of="$target" bs=1M iflag=skip_bytes,count_bytes \
    skip="$offset" count="$size" status=none
  end=$EPOCHREALTIME
  check "$target" "$size" "$compare"
  c=$(bench_calc "$end - $start")

  target=$bench_out/tiny.bin
  bench_warm "$exe_dir/bench_setup_tiny.exe"
  line=$(bench_wine "$program" extract "$win_exe_dir" bench_setup_tiny.exe \
           "$(bench_win_path "$target")")
  check "$target" 1 "$compare"
  peak_tiny=$(bench_field peak_ws "$line")
}

times_a=() times_b=() times_c=() peaks_big=() peaks_tiny=()
report_round() {
  printf '%-8s a=%ss b=%ss c=%ss  peak working set: big %s B, tiny %s B\n' \
    "$label" "$a" "$b" "$c" "$peak_big" "$peak_tiny"
  if ! bench_warm_up; then
    times_a+=("$a") times_b+=("$b") times_c+=("$c")
    peaks_big+=("$peak_big") peaks_tiny+=("$peak_tiny")
  fi
}
bench_each_round "$bench_lane" measure_round report_round

ma=$(bench_median "${times_a[@]}")
mb=$(bench_median "${times_b[@]}")
mc=$(bench_median "${times_c[@]}")
echo "== Medians over $rounds rounds ($size bytes): $bench_lane"
echo "a extract (ExecutableImage + ExtractResource): $ma s"
echo "b plain Win32 copy under Wine:                  $mb s"
echo "c host dd:                                      $mc s"
echo "a/b = $(bench_calc "$ma / $mb")   a/c = $(bench_calc "$ma / $mc")"
bench_peaks extract "$(bench_median "${peaks_big[@]}")" "$(bench_median "${peaks_tiny[@]}")" 1-byte
crc=$(bench_wine "$program" crc 64)
echo "CRC-32C in memory, GB/s over 64 MiB (best of 5) / over a 1 MiB chunk (best of 50):"
for way in table instruction folding wide; do
  printf '  %-12s %s / %s\n' "$way" "$(bench_field "${way}_gbps" "$crc")" \
    "$(bench_field "${way}_chunk_gbps" "$crc")"
done
echo "the setup picks the $(bench_field chosen "$crc") way here"

# Sourced by tools/bench.sh, after bench/common.sh.
# Measures "/extract" with a real installer package of about 460 MB.
#
# Usage: bash tools/bench.sh package [rounds] (rounds: at least 3, default 3)
#
# Makes once, in build/bench-<arch>/data/msi (<arch>: i686, the 32-bit
# product, unless ULVERANE_ARCH=x86_64), a wixl-built package whose embedded
# cabinet holds one file of 460,000,000 random bytes (bench/large_package.wxs),
# and builds a setup carrying it as BIN 135 (bench_setup_msi.exe), the
# product with its sample package (Setup.exe), and the 64-bit driver
# bench/package_bench.cpp. On the Wine prefix build/wineprefix-bench-<arch>
# (32-bit programs natively where the machine runs them, else, or with
# ULVERANE_I386_EMULATION=1, through qemu-user), after one warm-up round,
# each round:
#   a  drives "/extract" of the large setup end to end (Save, a new file name
#      in the Save As dialog, OK, then Cancel in the completion dialog) and
#      times from posting OK in the Save As dialog to the completion dialog
#      being visible; samples the setup's peak working set then;
#   b  copies the large package file under Wine in 1 MiB ReadFile/WriteFile
#      steps and flushes it to the disk, as the setup does before the saved
#      package takes the chosen file's place (extract_bench copy ... flush);
#   c  drives the same with the sample package, for its peak working set;
#   d  repeats what the setup asks of msi.dll on a fresh copy of the large
#      package (bench/msi_commit_bench.cpp): open, the four Property rows,
#      commit, close, each timed with the bytes the process wrote; then the
#      same without any change, and with the sample package.
# They run in the order c, d, b, a, so that b and a each start right after a
# file of the package's size was deleted (see the loop).
# Each written package is checked for its size (its rows are the tests'
# business); in the warm-up round its cabinet is compared with the source's. Each run starts with the file it reads in the page cache
# (bench_warm). It prints each round, the medians of a, b, a/b, the peak
# working sets and their difference, and whether msi.dll wrote the whole file
# again on commit. Figures only; nothing fails on timing.

bench_rounds "${1:-3}" 3
msi_dir=$bench_data/msi
large_msi=$msi_dir/Ulverane.msi
large_payload_size=460000000

if [ ! -f "$msi_dir/.complete" ]; then
  echo "== Generating the large package with wixl in $msi_dir (once)"
  rm -rf "$msi_dir"
  mkdir -p "$msi_dir/wixl"
  head -c "$large_payload_size" /dev/urandom >"$msi_dir/wixl/Payload.bin"
  (cd "$msi_dir/wixl" && wixl -a x86 -o "$large_msi" "$repo_root/bench/large_package.wxs")
  rm -rf "$msi_dir/wixl"
  # The rest of the payload is never run by "/extract"; only its presence
  # matters.
  head -c 65536 /dev/urandom >"$msi_dir/DotNet.exe"
  head -c 16384 /dev/urandom >"$msi_dir/SetupUI.exe"
  printf '<?xml version="1.0"?>\n<configuration />\n' >"$msi_dir/SetupUI.exe.config"
  for culture in $bench_cultures; do
    mkdir -p "$msi_dir/$culture"
    head -c 5120 /dev/urandom >"$msi_dir/$culture/SetupUI.resources.dll"
  done
  msiinfo extract "$large_msi" product.cab | sha256sum | cut -d' ' -f1 >"$msi_dir/cabinet.sha256"
  touch "$msi_dir/.complete"
fi
large_size=$(stat -c %s "$large_msi")

echo "== Building the setups ($bench_arch) in $bench_build and the driver (x86_64)"
bench_compile "$bench_build" "$bench_arch" -DULVERANE_BENCH_MSI_PAYLOAD="$msi_dir" \
  Setup bench_setup_msi extract_bench msi_commit_bench
bench_driver package_bench
exe_dir=$bench_build/bench
sample_msi=$bench_build/sample-payload/Ulverane.msi
sample_setup=$bench_build/Setup.exe
read -r offset size < <(bench_resource "$exe_dir/bench_setup_msi.exe" 135)
if [ "$size" != "$large_size" ]; then
  echo "BIN 135 of bench_setup_msi.exe holds $size bytes, not $large_size" >&2
  exit 1
fi
echo "== Large package: $large_size bytes ($(msiinfo streams "$large_msi" | tr '\n' ' ')), BIN 135" \
     "of bench_setup_msi.exe at offset $offset; sample package: $(stat -c %s "$sample_msi") bytes"

bench_start

# check_package <file> <source> <compare-cabinet?>: that the save is
# complete, as big as the package within the commit's megabyte (what it
# holds is the tests' business). Prints the size.
check_package() {
  local actual expected
  actual=$(bench_size "$1")
  expected=$(stat -c %s "$2")
  if [ "$actual" = missing ] || [ $((actual - expected)) -gt 1048576 ] ||
     [ $((expected - actual)) -gt 1048576 ]; then
    echo "$1: $actual bytes, the package has $expected" >&2
    exit 1
  fi
  if [ "$3" = yes ] &&
     [ "$(msiinfo extract "$1" product.cab | sha256sum | cut -d' ' -f1)" != "$(cat "$msi_dir/cabinet.sha256")" ]; then
    echo "$1: its cabinet differs from the package's" >&2
    exit 1
  fi
  echo "$actual"
}

# drive <setup-exe> <target>: one "/extract" run; prints the driver's line.
# Wine's own notes on the Save As dialog go to a file, shown on failure only.
drive() {
  local line errors=$bench_out/driver.err
  rm -f "$2"
  bench_warm "$1"
  line=$(bench_wine "$driver" "$(bench_win_path "$1")" "$(bench_win_path "$2")" 2>"$errors")
  if [ "$(bench_field exit "$line")" != 0 ] || ! [[ "$(bench_field peak_ws "$line")" =~ ^[0-9]+$ ]]; then
    cat "$errors" >&2
    echo "unexpected run of $1 /extract: $line" >&2
    exit 1
  fi
  echo "$line"
}

# probe <package> edit|same: what msi.dll does on a fresh copy of it.
probe() {
  local work=$bench_out/probe.msi line
  bench_warm "$1"
  line=$(bench_wine "$exe_dir/msi_commit_bench.exe" "$(bench_win_path "$1")" \
           "$(bench_win_path "$work")" "$2")
  if [ "$(bench_field size "$line")" = "" ]; then
    echo "msi_commit_bench failed on $1: $line" >&2
    exit 1
  fi
  check_package "$work" "$1" no >/dev/null
  rm -f "$work"
  echo "$line"
}

# One round in the order c, d, b, a (see the header).
measure_round() {
  local compare=no target
  bench_warm_up && compare=yes

  target=$bench_out/sample.msi
  sample=$(drive "$sample_setup" "$target")
  check_package "$target" "$sample_msi" no >/dev/null
  rm -f "$target"

  edit=$(probe "$large_msi" edit)
  same=$(probe "$large_msi" same)
  sample_edit=$(probe "$sample_msi" edit)

  # a and b each start right after a file of the package's size was deleted:
  # on this host, memory freed a few seconds earlier has gone back to the
  # hypervisor, and writing the package into it took four times as long.
  target=$bench_out/copy.msi
  bench_warm "$large_msi"
  copy=$(bench_wine "$exe_dir/extract_bench.exe" copy "$(bench_win_path "$large_msi")" 0 \
           "$large_size" "$(bench_win_path "$target")" flush)
  if [ "$(bench_size "$target")" != "$large_size" ]; then
    echo "the plain copy wrote $(bench_size "$target") bytes" >&2
    exit 1
  fi
  rm -f "$target"
  target=$bench_out/large.msi
  large=$(drive "$exe_dir/bench_setup_msi.exe" "$target")
  written=$(check_package "$target" "$large_msi" "$compare")
  rm -f "$target"

  save=$(bench_field save_s "$large")
  copy_s=$(bench_field seconds "$copy")
  ratio=$(bench_calc "$save / $copy_s")
}

saves=() copies=() ratios=() peaks_large=() peaks_sample=() sample_saves=()
commits=() commit_writes=() closes=() close_writes=() same_commits=() same_writes=()
sample_commits=() sample_writes=() commit_peaks=() commit_peaks_before=()
report_round() {
  printf '%-8s a: OK -> completion %ss (package %s B, peak working set %s B); b: copy + flush %ss; a/b %s\n' \
    "$label" "$save" "$written" "$(bench_field peak_ws "$large")" "$copy_s" "$ratio"
  printf '%-8s c: sample package: OK -> completion %ss, peak working set %s B\n' \
    "" "$(bench_field save_s "$sample")" "$(bench_field peak_ws "$sample")"
  printf '%-8s d: msi.dll on the large package: open %ss, rows %ss, commit %ss (wrote %s B, read %s B),' \
    "" "$(bench_field open_s "$edit")" "$(bench_field edit_s "$edit")" \
    "$(bench_field commit_s "$edit")" "$(bench_field commit_written "$edit")" \
    "$(bench_field commit_read "$edit")"
  printf ' close %ss (wrote %s B); peak working set %s B before the commit, %s B after\n' \
    "$(bench_field close_s "$edit")" "$(bench_field close_written "$edit")" \
    "$(bench_field peak_ws_before_commit "$edit")" "$(bench_field peak_ws "$edit")"
  printf '%-8s    no change: commit %ss (wrote %s B), close %ss (wrote %s B);' \
    "" "$(bench_field commit_s "$same")" "$(bench_field commit_written "$same")" \
    "$(bench_field close_s "$same")" "$(bench_field close_written "$same")"
  printf ' sample package: commit %ss (wrote %s B)\n' \
    "$(bench_field commit_s "$sample_edit")" "$(bench_field commit_written "$sample_edit")"
  if ! bench_warm_up; then
    saves+=("$save") copies+=("$copy_s") ratios+=("$ratio")
    peaks_large+=("$(bench_field peak_ws "$large")") peaks_sample+=("$(bench_field peak_ws "$sample")")
    sample_saves+=("$(bench_field save_s "$sample")")
    commits+=("$(bench_field commit_s "$edit")") commit_writes+=("$(bench_field commit_written "$edit")")
    closes+=("$(bench_field close_s "$edit")") close_writes+=("$(bench_field close_written "$edit")")
    same_commits+=("$(bench_field commit_s "$same")") same_writes+=("$(bench_field commit_written "$same")")
    sample_commits+=("$(bench_field commit_s "$sample_edit")")
    sample_writes+=("$(bench_field commit_written "$sample_edit")")
    commit_peaks+=("$(bench_field peak_ws "$edit")")
    commit_peaks_before+=("$(bench_field peak_ws_before_commit "$edit")")
  fi
}
bench_each_round "$bench_lane" measure_round report_round

ms=$(bench_median "${saves[@]}")
mc=$(bench_median "${copies[@]}")
cw=$(bench_median "${commit_writes[@]}")
echo "== Medians over $rounds rounds ($large_size-byte package): $bench_lane; driver 64-bit"
echo "a OK in Save As -> completion dialog visible: $ms s (sample package: $(bench_median "${sample_saves[@]}") s)"
echo "b plain copy + flush of the package (Wine):   $mc s"
echo "a/b = $(bench_calc "$ms / $mc") (median of the rounds' ratios $(bench_calc "$(bench_median "${ratios[@]}")"))"
bench_peaks setup "$(bench_median "${peaks_large[@]}")" "$(bench_median "${peaks_sample[@]}")" sample
echo "msi.dll commit with the Property rows: $(bench_median "${commits[@]}") s, $(bench_mib "$cw") MiB written;" \
     "close: $(bench_median "${closes[@]}") s, $(bench_mib "$(bench_median "${close_writes[@]}")") MiB written"
echo "msi.dll commit without any change:     $(bench_median "${same_commits[@]}") s," \
     "$(bench_mib "$(bench_median "${same_writes[@]}")") MiB written"
echo "msi.dll commit, sample package:        $(bench_median "${sample_commits[@]}") s," \
     "$(bench_mib "$(bench_median "${sample_writes[@]}")") MiB written"
echo "peak working set of msi_commit_bench: $(bench_mib "$(bench_median "${commit_peaks_before[@]}")") MiB" \
     "before the commit, $(bench_mib "$(bench_median "${commit_peaks[@]}")") MiB after"
if [[ "$cw" =~ ^[0-9.]+$ ]]; then
  if awk "BEGIN { exit !($cw >= 0.9 * $large_size) }"; then
    echo "=> msi.dll writes the whole file again on commit ($(bench_calc "$cw / $large_size") times its size)"
  else
    echo "=> msi.dll does not write the whole file again on commit ($(bench_calc "$cw / $large_size") times its size)"
  fi
fi

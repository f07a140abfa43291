# The benchmarks' shared harness, for tools/bench.sh and the benchmarks it
# runs (bench/<name>.sh). Sources tools/common.sh, installs what is missing,
# then sets bench_arch (the image
# measured: i686, the 32-bit product, unless ULVERANE_ARCH=x86_64), build,
# bench_build, bench_prefix, bench_data and bench_out, and defines the helpers
# below.

source "$(dirname "${BASH_SOURCE[0]}")/../tools/common.sh"
ulverane_prepare
bench_package_size=481894400
bench_arch=$arch
bench_build=$build/bench-$bench_arch
bench_prefix=$build/wineprefix-bench-$bench_arch
bench_data=$bench_build/data
bench_out=$bench_build/out
# Two jobs at most: the machine is shared with other builds.
bench_jobs=2

bench_cultures=$(python3 "$repo_root/tests/support/product.py" --cultures)

# bench_rounds <rounds> <least>: checks the round count and sets rounds.
bench_rounds() {
  rounds=$1
  if ! [[ "$rounds" =~ ^[0-9]+$ ]] || [ "$rounds" -lt "$2" ]; then
    echo "usage: $0 $bench_name [rounds >= $2]" >&2
    exit 2
  fi
}

# bench_prepare <rounds> <least> <targets...>: checks the round count, makes
# the payloads and builds the targets. Sets rounds and exe_dir.
bench_prepare() {
  bench_rounds "$1" "$2"
  shift 2
  bench_make_payloads
  bench_build_all "$@"
  exe_dir=$bench_build/bench
}

# Fills $bench_data/big and $bench_data/tiny once: the same twelve small files,
# and Ulverane.msi of $bench_package_size random bytes or of 1 byte.
bench_make_payloads() {
  local big=$bench_data/big tiny=$bench_data/tiny
  if [ -f "$bench_data/.complete" ] &&
     [ "$(stat -c %s "$big/Ulverane.msi")" = "$bench_package_size" ]; then
    return
  fi
  echo "== Generating the benchmark payloads in $bench_data"
  rm -rf "$bench_data"
  mkdir -p "$big" "$tiny"
  head -c 65536 /dev/urandom >"$big/DotNet.exe"
  head -c 16384 /dev/urandom >"$big/SetupUI.exe"
  printf '<?xml version="1.0"?>\n<configuration />\n' >"$big/SetupUI.exe.config"
  local culture
  for culture in $bench_cultures; do
    mkdir -p "$big/$culture" "$tiny/$culture"
    head -c 5120 /dev/urandom >"$big/$culture/SetupUI.resources.dll"
    cp "$big/$culture/SetupUI.resources.dll" "$tiny/$culture/"
  done
  cp "$big/DotNet.exe" "$big/SetupUI.exe" "$big/SetupUI.exe.config" "$tiny/"
  head -c 1 /dev/urandom >"$tiny/Ulverane.msi"
  head -c "$bench_package_size" /dev/urandom >"$big/Ulverane.msi"
  touch "$bench_data/.complete"
}

# bench_build_all <targets...>: builds the targets in $bench_build with the
# payloads of $bench_data.
bench_build_all() {
  echo "== Building the benchmarks ($bench_arch) in $bench_build"
  bench_compile "$bench_build" "$bench_arch" -DULVERANE_BENCH_BIG_PAYLOAD="$bench_data/big" \
    -DULVERANE_BENCH_TINY_PAYLOAD="$bench_data/tiny" "$@"
}

# bench_compile <build-dir> <arch> [-D<cache entry>...] <targets...>:
# configures the folder with the benchmarks and those cache entries, and
# builds the targets.
bench_compile() {
  local dir=$1 arch=$2 settings=()
  shift 2
  while [[ "${1:-}" == -D* ]]; do
    settings+=("$1")
    shift
  done
  ulverane_configure "$dir" "$arch" -DULVERANE_BUILD_BENCHMARKS=ON "${settings[@]}"
  cmake --build "$dir" -j "$bench_jobs" --target "$@" >/dev/null
}

# bench_driver <target>: builds the 64-bit program <target>, which drives or
# times the image measured the same way in every lane, and sets driver to it.
bench_driver() {
  local tree=$build/bench-x86_64
  bench_compile "$tree" x86_64 "$1"
  driver=$tree/bench/$1.exe
}

# bench_resource <exe> <id>: prints "<file offset> <size>" of BIN resource
# <id>, read on the host by wrestool and objdump, independently of the code
# under test. wrestool gives the data's RVA; the .rsrc header maps it.
bench_resource() {
  local objdump=$bench_arch-w64-mingw32-objdump line
  line=$(wrestool -l "$1" | grep -E "^--type='BIN' --name=$2 ") || {
    echo "BIN $2 not found in $1" >&2
    return 1
  }
  local rva size base vma raw
  rva=$(sed -n 's/.*offset=\(0x[0-9a-f]*\).*/\1/p' <<<"$line")
  size=$(sed -n 's/.*size=\([0-9]*\).*/\1/p' <<<"$line")
  base=$("$objdump" -p "$1" | awk '$1 == "ImageBase" { print $2 }')
  read -r vma raw < <("$objdump" -h "$1" | awk '$2 == ".rsrc" { print $4, $6 }')
  echo "$((rva - (0x$vma - 0x$base) + 0x$raw)) $size"
}

# The Wine (Z: drive) path of a host path.
bench_win_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# bench_field <key> <line>: the value of key=value in a line of output.
bench_field() {
  sed -n "s/.*\(^\| \)$1=\([^ ]*\).*/\2/p" <<<"$2"
}

# The median of its arguments.
bench_median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) printf "%.6f\n", v[(NR + 1) / 2];
                               else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_calc <awk expression>: prints its value.
bench_calc() {
  awk "BEGIN { printf \"%.3f\\n\", $1 }"
}

# bench_mib <bytes>: in MiB; <bytes> may be an awk expression.
bench_mib() {
  bench_calc "($1) / 1048576"
}

# bench_peaks <program> <bytes> <other bytes> <other package>: the line of
# the median peak working sets of <program> with the large package and with
# the other one, and their difference.
bench_peaks() {
  echo "peak working set of the $1: $(bench_mib "$2") MiB with the large package," \
       "$(bench_mib "$3") MiB with the $4 one; difference $(bench_mib "$2 - $3") MiB"
}

# bench_wine <program> <arguments...>: runs a Windows program in the session
# and prints its output with Unix line ends.
bench_wine() {
  "$ULVERANE_WINE" "$@" | tr -d '\r'
}

# bench_each_round <lane> <measure> <report>: a warm-up round and then
# $rounds rounds in <lane>; sets round (0 for the warm-up) and, before
# <report>, label. <measure> takes a round's figures and <report> prints
# them and keeps them for the medians unless bench_warm_up. A round that
# another run's emulator registration may have disturbed is measured again.
bench_each_round() {
  local lane=$1 measure=$2 report=$3
  round=0
  while [ "$round" -le "$rounds" ]; do
    bench_await_lane "$lane"
    "$measure"
    bench_lane_clean "$lane" || continue
    label="round $round"
    bench_warm_up && label="warm-up"
    "$report"
    round=$((round + 1))
  done
}

# Succeeds in the warm-up round, which counts for no median.
bench_warm_up() {
  [ "$round" = 0 ]
}

# Starts the benchmark's own Wine session on $bench_prefix (32-bit programs
# runnable, natively or through qemu-user) and prints what is measured: sets
# bench_lane. bench_stop ends the session and removes what the rounds left in
# $bench_out.
bench_start() {
  mkdir -p "$bench_out"
  # Another run's emulator registration would make the lane emulated.
  [ "${ULVERANE_I386_EMULATION:-0}" = 1 ] || bench_await_lane "32-bit native"
  ulverane_session_start "$bench_prefix"
  trap bench_stop EXIT
  bench_lane=$(bench_lane_of "$bench_arch")
  echo "== Measuring: $bench_lane"
}

bench_stop() {
  ulverane_session_stop
  rm -rf "$bench_out"
}

# bench_lane_of <arch>: the image and the way it runs, for the figures. A
# 64-bit program never goes through the emulator.
bench_lane_of() {
  if [ "$1" = i686 ]; then
    echo "32-bit image (i686), ${ulverane_i386_lane:-native}"
  else
    echo "64-bit build (x86_64), native"
  fi
}

# Names of i386 emulator registrations other than this shell's own. Another
# run that registers one makes every 32-bit program on the machine emulated,
# our "native" rounds included. Those of runs that are gone are removed first,
# as ulverane_emulation_start does.
bench_foreign_i386_emulators() {
  local entry name
  for entry in /proc/sys/fs/binfmt_misc/*; do
    name=${entry##*/}
    [ "$name" = "${ulverane_binfmt_entry:-}" ] && continue
    grep -qs '^magic 7f454c4601010100000000000000000002000300' "$entry" || continue
    if [[ "$name" =~ ^ulverane-i386-([0-9]+)$ ]] && ! kill -0 "${BASH_REMATCH[1]}" 2>/dev/null; then
      echo -1 | ulverane_sudo tee "$entry" >/dev/null || true
      continue
    fi
    printf '%s ' "$name"
  done
}

# bench_await_lane <lane>: before a round of a native 32-bit lane, waits
# (30 minutes at most) while another run's emulator registration is there.
bench_await_lane() {
  local lane=$1 foreign waited=0
  case "$lane" in *"32-bit"*native*) ;; *) return 0 ;; esac
  while foreign=$(bench_foreign_i386_emulators) && [ -n "$foreign" ]; do
    if [ "$waited" = 0 ]; then
      echo "(waiting: another run's i386 emulator registration ($foreign) would make" \
           "32-bit programs emulated)"
    fi
    if [ "$waited" -ge 1800 ]; then
      echo "gave up after $waited s: the 32-bit lane cannot run natively now" >&2
      exit 1
    fi
    sleep 5
    waited=$((waited + 5))
  done
}

# bench_lane_clean <lane>: after a round, false when another run registered
# an emulator meanwhile in a native 32-bit lane; the round is then repeated.
# (One that came and went within the round goes unseen.)
bench_lane_clean() {
  case "$1" in *"32-bit"*native*) ;; *) return 0 ;; esac
  if [ -n "$(bench_foreign_i386_emulators)" ]; then
    echo "(round repeated: another run registered an i386 emulator during it)"
    return 1
  fi
}

# bench_warm <files...>: reads the files once, so that a timed run starts
# with them in the page cache. Hosts may page out files left idle for a few
# seconds (this one runs DAMON's reclaim), which made single runs several
# times slower, whichever program was measured. It also writes out what
# earlier runs left dirty, so that no run pays for another's write-back.
bench_warm() {
  sync
  cat "$@" >/dev/null
}

# The size of a file in bytes, or "missing".
bench_size() {
  stat -c %s "$1" 2>/dev/null || echo missing
}

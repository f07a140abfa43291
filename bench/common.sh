# The benchmarks' shared harness, for tools/bench.sh. Sources tools/common.sh,
# installs what is missing, then sets bench_arch (the image measured: i686,
# the 32-bit product, unless ULVERANE_ARCH=x86_64), bench_build,
# bench_prefix, bench_data and bench_out, and defines the helpers below.

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

bench_fail() {
  echo "$*" >&2
  exit 1
}

# bench_rounds <rounds> <least>: checks the round count and sets rounds.
bench_rounds() {
  rounds=$1
  if ! [[ "$rounds" =~ ^[0-9]+$ ]] || [ "$rounds" -lt "$2" ]; then
    echo "usage: $0 $bench_name [rounds >= $2]" >&2
    exit 2
  fi
}

# bench_small_files <folder>: the payload's files other than the package, of
# random bytes; only their presence and sizes matter.
bench_small_files() {
  local culture
  mkdir -p "$1"
  head -c 65536 /dev/urandom >"$1/DotNet.exe"
  head -c 16384 /dev/urandom >"$1/SetupUI.exe"
  printf '<?xml version="1.0"?>\n<configuration />\n' >"$1/SetupUI.exe.config"
  for culture in $bench_cultures; do
    mkdir -p "$1/$culture"
    head -c 5120 /dev/urandom >"$1/$culture/SetupUI.resources.dll"
  done
}

# bench_prepare <rounds> <least> <targets...>: checks the round count, fills
# $bench_data/big and $bench_data/tiny once (the same small files, and an
# Ulverane.msi of $bench_package_size random bytes or of 1 byte), and builds
# the targets with them. Sets rounds and exe_dir.
bench_prepare() {
  bench_rounds "$1" "$2"
  shift 2
  local big=$bench_data/big tiny=$bench_data/tiny
  if ! [ -f "$bench_data/.complete" ] ||
     [ "$(stat -c %s "$big/Ulverane.msi")" != "$bench_package_size" ]; then
    echo "== Generating the benchmark payloads in $bench_data"
    rm -rf "$bench_data"
    bench_small_files "$big"
    cp -r "$big" "$tiny"
    head -c 1 /dev/urandom >"$tiny/Ulverane.msi"
    head -c "$bench_package_size" /dev/urandom >"$big/Ulverane.msi"
    touch "$bench_data/.complete"
  fi
  echo "== Building the benchmarks ($bench_arch) in $bench_build"
  bench_compile "$bench_build" "$bench_arch" -DULVERANE_BENCH_BIG_PAYLOAD="$big" \
    -DULVERANE_BENCH_TINY_PAYLOAD="$tiny" "$@"
  exe_dir=$bench_build/bench
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

# Builds the 64-bit bench_driver, which drives or times the image measured
# the same way in every lane, and sets driver to it.
bench_driver() {
  bench_compile "$build/bench-x86_64" x86_64 bench_driver
  driver=$build/bench-x86_64/bench/bench_driver.exe
}

# bench_resource <exe> <id> [<size>]: sets offset and size to the file
# offset and size of BIN resource <id>, read on the host by wrestool and
# objdump, independently of the code under test; fails unless it holds
# <size> bytes. wrestool gives the data's RVA; the .rsrc header maps it.
bench_resource() {
  local objdump=$bench_arch-w64-mingw32-objdump line rva base vma raw
  line=$(wrestool -l "$1" | grep -E "^--type='BIN' --name=$2 ") || bench_fail "BIN $2 not found in $1"
  rva=$(sed -n 's/.*offset=\(0x[0-9a-f]*\).*/\1/p' <<<"$line")
  size=$(sed -n 's/.*size=\([0-9]*\).*/\1/p' <<<"$line")
  [ "${3:-$size}" = "$size" ] || bench_fail "BIN $2 of ${1##*/} holds $size bytes, not $3"
  base=$("$objdump" -p "$1" | awk '$1 == "ImageBase" { print $2 }')
  read -r vma raw < <("$objdump" -h "$1" | awk '$2 == ".rsrc" { print $4, $6 }')
  offset=$((rva - (0x$vma - 0x$base) + 0x$raw))
}

# The Wine (Z: drive) path of a host path.
bench_win_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# bench_run <array> <program> <arguments...>: runs a Windows program in the
# session and fills the associative array <array> with the key=value fields
# of its output line (the whole line as [line]).
bench_run() {
  declare -gA "$1"
  local -n fields=$1
  local line pair pairs
  shift
  line=$("$ULVERANE_WINE" "$@" | tr -d '\r') || return
  fields=([line]="$line")
  read -ra pairs <<<"$line"
  for pair in "${pairs[@]}"; do
    if [[ "$pair" == *=* ]]; then
      fields[${pair%%=*}]=${pair#*=}
    fi
  done
}

# bench_expect <array> <what> <key> <pattern>...: fails the run unless each
# field matches its (extended) pattern in full.
bench_expect() {
  local -n got=$1
  local what=$2
  shift 2
  while [ $# -gt 0 ]; do
    [[ "${got[$1]:-}" =~ ^($2)$ ]] || bench_fail "unexpected $what: ${got[line]}"
    shift 2
  done
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

# keep <name> <value>: keeps a figure of the round for the medians, unless
# it is the warm-up; keep_fields <array>: every field of one bench_run, as
# <array>.<key>. med <name>: their median.
declare -A kept=()
keep() {
  bench_warm_up || kept[$1]+=" $2"
}
keep_fields() {
  local -n kept_fields=$1
  local key
  for key in "${!kept_fields[@]}"; do
    [ "$key" = line ] || keep "$1.$key" "${kept_fields[$key]}"
  done
}
med() {
  # shellcheck disable=SC2086 # the kept figures, one a word
  bench_median ${kept[$1]}
}

# bench_peaks <program> <array> <other array> <other package>: the line of
# the median peak working sets of <program> kept from <array> (large package)
# and <other array>, and their difference.
bench_peaks() {
  local large other
  large=$(med "$2.peak_ws") other=$(med "$3.peak_ws")
  echo "peak working set of the $1: $(bench_mib "$large") MiB with the large package," \
       "$(bench_mib "$other") MiB with the $4 one; difference $(bench_mib "$large - $other") MiB"
}

# bench_each_round <lane> <measure> <report>: a warm-up round and then
# $rounds rounds in <lane>; sets round (0 for the warm-up) and, before
# <report>, label. A round that another run's emulator registration may have
# disturbed is measured again.
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
# bench_lane. Its end removes what the rounds left in $bench_out.
bench_start() {
  mkdir -p "$bench_out"
  # Another run's emulator registration would make the lane emulated.
  [ "${ULVERANE_I386_EMULATION:-0}" = 1 ] || bench_await_lane "32-bit native"
  ulverane_session_start "$bench_prefix"
  trap 'ulverane_session_stop; rm -rf "$bench_out"' EXIT
  bench_lane=$(bench_lane_of "$bench_arch")
  echo "== Measuring: $bench_lane"
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

# Names of i386 emulator registrations other than this shell's own, when
# <lane> is a native 32-bit one. Another run that registers one makes every
# 32-bit program on the machine emulated, our "native" rounds included.
# Those of runs that are gone are removed first, as ulverane_emulation_start
# does.
bench_foreign_i386_emulators() {
  local entry name
  case "$1" in *"32-bit"*native*) ;; *) return 0 ;; esac
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
  local foreign waited=0
  while foreign=$(bench_foreign_i386_emulators "$1") && [ -n "$foreign" ]; do
    if [ "$waited" = 0 ]; then
      echo "(waiting: another run's i386 emulator registration ($foreign) would make" \
           "32-bit programs emulated)"
    fi
    [ "$waited" -lt 1800 ] || bench_fail "gave up after $waited s: the 32-bit lane cannot run natively now"
    sleep 5
    waited=$((waited + 5))
  done
}

# bench_lane_clean <lane>: after a round, false when another run registered
# an emulator meanwhile in a native 32-bit lane; the round is then repeated.
# (One that came and went within the round goes unseen.)
bench_lane_clean() {
  [ -z "$(bench_foreign_i386_emulators "$1")" ] && return
  echo "(round repeated: another run registered an i386 emulator during it)"
  return 1
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

# Shared by tools/bench-extract.sh and tools/bench-setup.sh; source it after
# tools/common.sh. Sets bench_arch, bench_build, bench_prefix, bench_data and
# bench_out, and defines the helpers below.

bench_package_size=481894400
bench_arch=$(ulverane_test_arch)
bench_build=$repo_root/build/bench-$bench_arch
bench_prefix=$repo_root/build/wineprefix-bench-$bench_arch
bench_data=$bench_build/data
bench_out=$bench_build/out

bench_cultures="de en-US es fr it ja pt-BR ru zh-Hans"

# Fills $bench_data/big and $bench_data/tiny once: the same twelve small files,
# and Ulverane.msi of $bench_package_size random bytes or of 1 byte.
# bench_prepare <rounds>: checks the round count, makes the payloads and builds
# everything. Sets rounds and exe_dir.
bench_prepare() {
  rounds=$1
  if ! [[ "$rounds" =~ ^[0-9]+$ ]] || [ "$rounds" -lt 3 ]; then
    echo "usage: $0 [rounds >= 3]" >&2
    exit 2
  fi
  bench_make_payloads
  bench_build_all
  exe_dir=$bench_build/bench
}

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

# Configures $bench_build and builds the benchmark programs and setups.
bench_build_all() {
  echo "== Building the benchmarks ($bench_arch) in $bench_build"
  ulverane_configure "$bench_build" "$bench_arch" -DULVERANE_BUILD_BENCHMARKS=ON \
    -DULVERANE_BENCH_BIG_PAYLOAD="$bench_data/big" \
    -DULVERANE_BENCH_TINY_PAYLOAD="$bench_data/tiny"
  cmake --build "$bench_build" -j "$(nproc)" --target \
    extract_bench setup_bench bench_setup_big bench_setup_tiny >/dev/null
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

# Starts the benchmark's own Wine session; bench_stop ends it and removes
# what the rounds left in $bench_out.
bench_start() {
  trap bench_stop EXIT
  mkdir -p "$bench_out"
  ulverane_wine_start "$bench_prefix" "$bench_arch"
}

bench_stop() {
  ulverane_wine_stop
  rm -rf "$bench_out"
}

# The size of a file in bytes, or "missing".
bench_size() {
  stat -c %s "$1" 2>/dev/null || echo missing
}

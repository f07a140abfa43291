#!/usr/bin/env bash
# Installs every system package the build and the tests need on Debian 12.
# Idempotent: returns at once when everything is already there.
set -euo pipefail

# The product is 32-bit and is tested as such in a win64 prefix (WoW64).
# Machines that run no 32-bit code natively run the 32-bit half of Wine
# through qemu-user; the 64-bit toolchain serves the optional quick lane.
packages=(
  cmake ninja-build make python3 procps
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-utils
  msitools wixl faketime icoutils osslsigncode openssl locales
  googletest
  clang libclang-rt-14-dev
)
# Bookworm's own qemu 7.2 takes about a minute per Wine start; the backport
# does not.
backports_packages=(qemu-user)
backports_min_version=1:10

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" = "install ok installed" ]
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_backports=()
for p in "${backports_packages[@]}"; do
  version=$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null || true)
  if ! installed "$p" || dpkg --compare-versions "$version" lt "$backports_min_version"; then
    missing_backports+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_backports[@]} -eq 0 ]; then
  exit 0
fi

# The backports suite comes from the same archive as the machine's own
# Debian source; no address is written here.
add_backports() {
  grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ && return
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ {print $2; exit}' /etc/apt/sources.list)
  fi
  if [ -z "$uri" ]; then
    echo "No Debian apt source found to add bookworm-backports from" >&2
    exit 1
  fi
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
}

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing_backports[@]} -ne 0 ]; then
  add_backports
fi
# A mirror in the middle of a sync fails one index now and then: try again,
# and go on with what there is, since the install below fails on its own
# when a package really cannot be had.
for attempt in 1 2 3; do
  "${sudo_cmd[@]}" apt-get update -q && break
  echo "apt-get update failed (attempt $attempt)" >&2
  sleep $((attempt * 5))
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  # When the security suite's index of one architecture is out of step with
  # the other's, the i386 and amd64 halves of a library cannot be matched;
  # the release's own versions always can.
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" ||
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends -t bookworm "${missing[@]}"
fi
if [ ${#missing_backports[@]} -ne 0 ]; then
  echo "Installing from bookworm-backports: ${missing_backports[*]}"
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends -t bookworm-backports \
    "${missing_backports[@]}"
fi

#!/usr/bin/env bash
# Installs every system package the build and the tests need on Debian 12.
# Idempotent: returns at once when everything is already there.
set -euo pipefail

# The product is 32-bit. Where the kernel runs no 32-bit code (some virtual
# machines), the tests run a 64-bit build of the same sources on wine64, so
# both toolchains and both Wine halves are installed.
packages=(
  cmake ninja-build make python3 procps
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-utils
  msitools wixl icoutils osslsigncode
  googletest
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  name=${p%%:*}
  arch=${p#*:}
  [ "$arch" = "$p" ] && arch=""
  q=$name${arch:+:$arch}
  status=$(dpkg-query -W -f='${Status}' "$q" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Signs a Windows image in place with osslsigncode: Authenticode, SHA-256.
#
#   sign-image.sh <image> pem <certificate.pem> <key.pem> [<time-stamp url>]
#   sign-image.sh <image> pkcs12 <file.p12> [<time-stamp url>]
#
# A PKCS#12 file's password comes from the environment variable
# ULVERANE_SIGN_PASSWORD, so that it never stands on a command line or in the
# build files. With no time-stamp URL the signature carries none.
set -euo pipefail
image=$1
kind=$2
shift 2
case "$kind" in
  pem) credentials=(-certs "$1" -key "$2"); shift 2 ;;
  pkcs12)
    password_file=$(mktemp)
    trap 'rm -f "$password_file"' EXIT
    printf '%s' "${ULVERANE_SIGN_PASSWORD:-}" >"$password_file"
    credentials=(-pkcs12 "$1" -readpass "$password_file")
    shift
    ;;
  *) echo "usage: $0 <image> pem <cert> <key> [url] | pkcs12 <file> [url]" >&2; exit 2 ;;
esac
timestamp=()
if [ -n "${1:-}" ]; then
  timestamp=(-ts "$1")
fi
signed="$image.signing"
rm -f "$signed"
osslsigncode sign "${credentials[@]}" -h sha256 -n "Ulverane Photo Setup" \
  -i "https://www.ulverane.example/" "${timestamp[@]}" -in "$image" -out "$signed" >/dev/null
mv -f "$signed" "$image"

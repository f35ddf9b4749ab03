#!/usr/bin/env bash
# Builds the release archive OstrelSetup-<version>.zip (version: the
# project() line of CMakeLists.txt) from fresh 32-bit and 64-bit builds,
# signs both programs when given a certificate, and writes a winget manifest
# beside the archive when told where it will be downloaded from:
#
#   scripts/release.sh [<options>] [<folder>]    default: $OSTREL_BUILD_ROOT/release or build/release
#
#   --pkcs12 FILE           sign with the certificate and key of a PKCS#12 file (.p12, .pfx)
#   --cert FILE --key FILE  sign with a PEM certificate (chain allowed) and its PEM key
#   --password-file FILE    the key's password (or OSTREL_SIGN_PASSWORD in the environment)
#   --timestamp URL         an RFC 3161 timestamp server (without one: signing time SOURCE_DATE_EPOCH)
#   --description TEXT      the name Windows shows for a signed program (default: Ostrel Setup Utility)
#   --url URL               the project's address: in the signature and the winget manifest
#   --download-url URL      the address the zip will be published under (a folder: URL/<zip name>),
#                           for the winget manifest
#   --reuse FOLDER          package the win32 and win64 trees an earlier run built in FOLDER
#                           instead of building fresh ones (to sign what was built and tested before)
#
# Each option may instead come from the environment: OSTREL_SIGN_PKCS12,
# OSTREL_SIGN_CERT, OSTREL_SIGN_KEY, OSTREL_SIGN_PASSWORD_FILE,
# OSTREL_SIGN_TIMESTAMP, OSTREL_SIGN_DESCRIPTION, OSTREL_RELEASE_URL,
# OSTREL_RELEASE_DOWNLOAD_URL (scripts/sign.sh describes the signing ones).
#
# The same sources give the same bytes: the link time stays out of the PE
# headers, every time in the archive is SOURCE_DATE_EPOCH (default: the time
# of the last commit), and so is the signing time unless a timestamp server
# is named. Needs the packages of scripts/install-deps.sh.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
  # The comment at the head of this file.
  awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "${BASH_SOURCE[0]}" >&2
  exit 2
}

reuse=
out_arg=
while (($#)); do
  case "$1" in
    --pkcs12) export OSTREL_SIGN_PKCS12=${2:?}; shift 2 ;;
    --cert) export OSTREL_SIGN_CERT=${2:?}; shift 2 ;;
    --key) export OSTREL_SIGN_KEY=${2:?}; shift 2 ;;
    --password-file) export OSTREL_SIGN_PASSWORD_FILE=${2:?}; shift 2 ;;
    --timestamp) export OSTREL_SIGN_TIMESTAMP=${2:?}; shift 2 ;;
    --description) export OSTREL_SIGN_DESCRIPTION=${2:?}; shift 2 ;;
    --url) OSTREL_RELEASE_URL=${2:?}; shift 2 ;;
    --download-url) OSTREL_RELEASE_DOWNLOAD_URL=${2:?}; shift 2 ;;
    --reuse) reuse=$(realpath "${2:?}"); shift 2 ;;
    -h | --help) usage ;;
    -*) echo "release: unknown option $1" >&2; usage ;;
    *) [[ -z "$out_arg" ]] || usage; out_arg=$1; shift ;;
  esac
done
OUT=$(realpath -m "${out_arg:-${OSTREL_BUILD_ROOT:-$ROOT/build}/release}")
TREES=${reuse:-$OUT}
export OSTREL_SIGN_URL=${OSTREL_RELEASE_URL:-${OSTREL_SIGN_URL:-}}
cd "$ROOT"

signing=
if [[ -n "${OSTREL_SIGN_PKCS12:-}${OSTREL_SIGN_CERT:-}${OSTREL_SIGN_KEY:-}" ]]; then
  signing=yes
  # The packaging step signs each program as it is staged (packaging/CMakeLists.txt);
  # a wrong file or password is found now, not after the build.
  bash scripts/sign.sh --check
fi
if [[ -n "$reuse" && ! -f "$reuse/win32/CMakeCache.txt" ]]; then
  echo "release: $reuse holds no build trees of an earlier run" >&2
  exit 1
fi

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  if ! SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
    echo "release: not a git checkout; set SOURCE_DATE_EPOCH to the sources' time" >&2
    exit 1
  fi
fi
export SOURCE_DATE_EPOCH
# The zip format stores local time, and CPack's staging folders take the
# umask: pin both, or the archive depends on who builds it where.
export TZ=UTC0
umask 022

rm -rf "$OUT/_CPack_Packages" "$OUT"/OstrelSetup-*.zip "$OUT/winget"
mkdir -p "$OUT"
if [[ -z "$reuse" ]]; then
  # Fresh trees, so nothing left from an earlier configuration gets in.
  rm -rf "$OUT/win32" "$OUT/win64"
  cmake --preset win64 -B "$OUT/win64" >/dev/null
  cmake --preset win32 -B "$OUT/win32" -DOSTREL_RELEASE_X64_BUILD="$OUT/win64" >/dev/null
  for preset in win64 win32; do
    cmake --build "$OUT/$preset" -j2 --target OstrelSetup >/dev/null
  done
fi
(cd "$TREES/win32" && cpack -B "$OUT" >/dev/null)
rm -rf "$OUT/_CPack_Packages"
zip=$(echo "$OUT"/OstrelSetup-*.zip)
echo "$zip"
if [[ -n "$signing" && -n "${OSTREL_SIGN_TIMESTAMP:-}" ]]; then
  echo "release: both programs are signed (Authenticode, SHA-256, timestamped by $OSTREL_SIGN_TIMESTAMP)"
elif [[ -n "$signing" ]]; then
  echo "release: both programs are signed (Authenticode, SHA-256, signing time $SOURCE_DATE_EPOCH, no timestamp)"
else
  echo "release: the programs are NOT signed (no certificate given: --pkcs12, or --cert and --key)"
fi

if [[ -n "${OSTREL_RELEASE_DOWNLOAD_URL:-}" ]]; then
  python3 packaging/winget.py --zip "$zip" --download-url "$OSTREL_RELEASE_DOWNLOAD_URL" \
    ${OSTREL_RELEASE_URL:+--url "$OSTREL_RELEASE_URL"} --out "$OUT/winget"
  echo "release: winget manifest in $OUT/winget"
else
  echo "release: no winget manifest (give --download-url, the address the zip will be published under)"
fi

#!/usr/bin/env bash
# Builds the release archive OstrelSetup-<version>.zip (version: the
# project() line of CMakeLists.txt) from fresh 32-bit and 64-bit builds:
#
#   scripts/release.sh [<folder>]    default: $OSTREL_BUILD_ROOT/release or build/release
#
# The same sources give the same bytes: the link time stays out of the PE
# headers, and every time in the archive is SOURCE_DATE_EPOCH (default: the
# time of the last commit). Needs the packages of scripts/install-deps.sh.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$(realpath -m "${1:-${OSTREL_BUILD_ROOT:-$ROOT/build}/release}")
cd "$ROOT"

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

# Fresh trees, so nothing left from an earlier configuration gets in.
rm -rf "$OUT/win32" "$OUT/win64" "$OUT/_CPack_Packages" "$OUT"/OstrelSetup-*.zip
mkdir -p "$OUT"
cmake --preset win64 -B "$OUT/win64" >/dev/null
cmake --preset win32 -B "$OUT/win32" -DOSTREL_RELEASE_X64_BUILD="$OUT/win64" >/dev/null
for preset in win64 win32; do
  cmake --build "$OUT/$preset" -j2 --target OstrelSetup >/dev/null
done
(cd "$OUT/win32" && cpack -B "$OUT" >/dev/null)
rm -rf "$OUT/_CPack_Packages"
ls "$OUT"/OstrelSetup-*.zip

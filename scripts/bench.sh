#!/usr/bin/env bash
# Times OstrelSetup.exe under Wine against its yardsticks: the platform's own
# tools (sc, rundll32 setupapi,InstallHinfSection) and, for the actions that
# should cost no more than their platform calls, bare programs that make
# exactly those calls. On Debian 12 as root; not part of scripts/test.sh
# (timings on a shared machine are no pass or fail). docs/building.md says
# what each pair is and what the last figures were.
#
#   bash scripts/bench.sh [--rounds N] [--only TEXT] [--arch win64|win32]
#                         [--program EXE]
#
# Installs what is missing (scripts/install-deps.sh, and hyperfine), builds
# the 64-bit program, and the 32-bit one where Wine's 32-bit loader runs,
# then runs scripts/bench/bench.py for each; the bare programs are built
# there with the cross compilers. Prints each pair's median ratio and writes
# build/bench/results.json and results.csv. The Wine prefixes stay in
# build/bench/prefix-<arch> for the next run.
#
# OSTREL_BUILD_ROOT  where the build folders are (default: build/)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}
cd "$ROOT"

bash scripts/install-deps.sh hyperfine

arches=()
for arg in "$@"; do
  case "$arg" in win64 | win32) arches+=("$arg") ;; esac
done
if ((${#arches[@]} == 0)); then
  arches=(win64)
  # The 32-bit build runs only where the kernel runs Wine's 32-bit loader.
  if [[ -e /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arches+=(win32)
  else
    echo "bench: Wine's 32-bit loader does not start here: the 32-bit build is not timed" >&2
  fi
  arch_args=()
  for arch in "${arches[@]}"; do arch_args+=(--arch "$arch"); done
  set -- "${arch_args[@]}" "$@"
fi

for arch in "${arches[@]}"; do
  timeout 1800 cmake --preset "$arch" -B "$BUILD/$arch" >/dev/null
  timeout 3600 cmake --build "$BUILD/$arch" -j2
done

exec /usr/bin/python3 scripts/bench/bench.py --build-root "$BUILD" "$@"

#!/usr/bin/env bash
# Every test of OstrelSetup, on Debian 12 as root, with or without a display:
#   1. installs what is missing (apt), 2. host unit tests, 3. the same under
#   AddressSanitizer and UndefinedBehaviorSanitizer, 4. the fuzz targets'
#   regression gate, 5. the 32-bit and 64-bit Windows builds and their PE
#   headers, 6. the release archive, built twice and compared, unsigned and
#   signed (signatures, bill of materials, winget manifest), 7. format and
#   static checks (scripts/lint.sh), 8. the real programs under Wine in a
#   virtual display: the 32-bit build in a
#   32-bit prefix, the 64-bit build in a 64-bit prefix, and the 32-bit build
#   with its 64-bit sibling in a 64-bit prefix (WOW64), 9. the platform
#   conformance suite (tests/contract) on the simulated machine (with the
#   unit tests) and under Wine, 64-bit and 32-bit. Where Wine's 32-bit
#   loader does not start (a kernel without 32-bit emulation), only the
#   64-bit passes run, and the summary says so.
# Exits non-zero when any step fails; the last lines sum the steps up.
#
# OSTREL_BUILD_ROOT  where the build folders go (default: build/, the presets' folders)
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}
cd "$ROOT" || exit 1
# shellcheck source=scripts/wine32.sh
source scripts/wine32.sh

# Debian's pytest belongs to Debian's python, whatever else is on the PATH.
PYTHON=/usr/bin/python3
SECONDS=0
failed=()
summary=()

step() {
  local name=$1 start=$SECONDS
  shift
  echo
  echo "=== $name"
  if "$@"; then
    summary+=("ok      $name ($((SECONDS - start)) s)")
  else
    summary+=("FAILED  $name ($((SECONDS - start)) s)")
    failed+=("$name")
  fi
}

configure_and_build() {
  local preset=$1
  timeout 1800 cmake --preset "$preset" -B "$BUILD/$preset" &&
    timeout 3600 cmake --build "$BUILD/$preset" -j2
}

unit_tests() {
  local preset=$1 log
  configure_and_build "$preset" || return 1
  log=$(mktemp)
  timeout 1800 ctest --test-dir "$BUILD/$preset" -j2 --output-on-failure --timeout 120 | tee "$log"
  local status=${PIPESTATUS[0]}
  closing["$preset"]=$(grep -E 'tests passed|tests failed' "$log" | tail -1)
  rm -f "$log"
  return "$status"
}

# Runs pytest on a test folder and keeps its closing line under the given name.
run_pytest() {
  local name=$1 log status
  shift
  log=$(mktemp)
  timeout -k 30 3000 "$PYTHON" -m pytest "$@" -q -p no:cacheprovider | tee "$log"
  status=${PIPESTATUS[0]}
  closing["$name"]=$(grep -E '^=*.*[0-9]+ (passed|failed|error)' "$log" | tail -1)
  rm -f "$log"
  return "$status"
}

# The platform conformance suite: its Windows builds, and its own count of
# cases, passed ones and marked differences on each side (tests/contract).
contract_builds() {
  local preset
  for preset in contract-win32 contract-win64; do
    timeout 1800 cmake --preset "$preset" -B "$BUILD/$preset" &&
      timeout 3600 cmake --build "$BUILD/$preset" -j2 --target contract_tests || return 1
  done
}

contract_suite() {
  local side=$1 log status
  log=$(mktemp)
  if [[ "$side" == sim ]]; then
    timeout 300 "$BUILD/host/tests/contract/contract_tests" --gtest_brief=1 | tee "$log"
  else
    timeout -k 30 1200 "$PYTHON" tests/contract/run_wine.py --arch "$side" "$BUILD/contract-$side/contract_tests.exe" \
      --gtest_brief=1 | tee "$log"
  fi
  status=${PIPESTATUS[0]}
  closing["contract $side"]=$(grep '^contract suite' "$log" | tail -1)
  rm -f "$log"
  return "$status"
}

# Two builds, unsigned and signed with a throwaway certificate, each packaged
# once more the other way, in other folders, time zones and umasks: none may
# show in the bytes (tests/release/conftest.py). They stay in $BUILD/release*.
release_archive() {
  OSTREL_RELEASE_ROOT="$BUILD" run_pytest release tests/release || return 1
  local unsigned=("$BUILD"/release/OstrelSetup-*.zip) signed=("$BUILD"/release-again/OstrelSetup-*.zip)
  closing[zip]="release: $(basename "${signed[0]}"), $(stat -c %s "${signed[0]}") bytes signed,"
  closing[zip]+=" $(stat -c %s "${unsigned[0]}") bytes unsigned; winget manifest in $BUILD/release-again/winget"
}

# One pass of the end-to-end tests: win32, win64 or wow64 (tests/e2e/conftest.py),
# on the builds of the steps before (passes run side by side, so none builds).
end_to_end() {
  local pass=$1 program_build=win32 signed
  [[ "$pass" == win64 ]] && program_build=win64
  # The signed release's program of the pass's kind runs too, when the release step made it.
  signed=$(compgen -G "$BUILD/release-again/OstrelSetup-*.zip" || true)
  # The harness starts its own Xvfb and Wine prefixes.
  OSTREL_E2E_ARCH="$pass" OSTREL_E2E_BUILD_DIR="$BUILD/$program_build" OSTREL_E2E_X64_BUILD_DIR="$BUILD/win64" \
    OSTREL_E2E_NO_BUILD=1 OSTREL_E2E_SIGNED_RELEASE="$signed" run_pytest "e2e $pass" tests/e2e
}

win32_passes() {
  step "conformance suite under Wine: 32-bit, 32-bit prefix" contract_suite win32
  step "end-to-end tests under Wine: 32-bit build, 32-bit prefix" end_to_end win32
  step "end-to-end tests under Wine: 32-bit build and its 64-bit sibling, 64-bit prefix (WOW64)" end_to_end wow64
}

# A pass under Wine waits far more than it computes, so the 32-bit passes
# run beside the 64-bit one (both together took 126 s, one after the other
# 268 s). Their output is shown, and their steps counted, once they are done.
background=()
in_background() {
  local dir
  dir=$(mktemp -d)
  (
    summary=() failed=() closing=()
    "$@" >"$dir/output" 2>&1
    declare -p summary failed closing | sed 's/^declare -\(.\) /declare -\1 lane_/' >"$dir/state"
  ) &
  background+=("$!:$dir")
}

collect_background() {
  local entry key
  for entry in "${background[@]}"; do
    wait "${entry%%:*}"
    cat "${entry#*:}/output"
    # shellcheck disable=SC1091  # lane_summary, lane_failed, lane_closing
    source "${entry#*:}/state"
    summary+=("${lane_summary[@]}")
    failed+=("${lane_failed[@]}")
    for key in "${!lane_closing[@]}"; do
      closing["$key"]=${lane_closing[$key]}
    done
    rm -rf "${entry#*:}"
  done
}

declare -A closing=()
step "install packages" bash scripts/install-deps.sh
step "host unit tests" unit_tests host
step "conformance suite on the simulated machine (its count)" contract_suite sim
step "host unit tests under sanitizers" unit_tests host-asan
step "fuzz regression gate (20 s per target)" bash scripts/fuzz.sh --gate
step "Windows build, 32-bit (shipped)" configure_and_build win32
step "Windows build, 64-bit" configure_and_build win64
step "Windows builds of the conformance suite, 32-bit and 64-bit" contract_builds
step "hardened executables: PE headers of both builds" run_pytest pe tests/pe
step "release archive: two builds, unsigned and signed" release_archive
# Format and static checks mostly compute, the passes under Wine mostly
# wait: they run side by side.
in_background step "format and static checks (clang-format, clang-tidy, cppcheck)" bash scripts/lint.sh "$BUILD"
no_win32=$(win32_unavailable)
if [[ -z "$no_win32" ]]; then
  in_background win32_passes
else
  summary+=("SKIPPED end-to-end tests of the 32-bit build (32-bit prefix, WOW64): $no_win32")
fi
# Not beside the end-to-end pass: its timed tests (5,000 hardware IDs) want
# the machine to themselves.
step "conformance suite under Wine: 64-bit, 64-bit prefix" contract_suite win64
step "end-to-end tests under Wine: 64-bit build, 64-bit prefix" end_to_end win64
collect_background

echo
echo "=== summary ($((SECONDS / 60)) min $((SECONDS % 60)) s)"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "test.sh: ${#failed[@]} step(s) failed"
else
  echo "test.sh: all steps passed"
fi
[[ -n "$no_win32" ]] && echo "test.sh: the 32-bit build was NOT run under Wine: $no_win32"
# The runners' own closing lines, last: ctest's for each unit run, then pytest's.
for runner in host host-asan "contract sim" "contract win64" "contract win32" pe release "e2e win32" "e2e win64" \
  "e2e wow64"; do
  [[ -n "${closing[$runner]:-}" ]] && echo "$runner: ${closing[$runner]}"
done
[[ -n "${closing[zip]:-}" ]] && echo "${closing[zip]}"
((${#failed[@]} == 0))

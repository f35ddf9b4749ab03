#!/usr/bin/env bash
# Every test of OstrelSetup, on Debian 12 as root, with or without a display:
#   1. installs what is missing (apt), 2. host unit tests, 3. the same under
#   AddressSanitizer and UndefinedBehaviorSanitizer, 4. the 32-bit and 64-bit
#   Windows builds, 5. the real program under Wine in a virtual display.
# Exits non-zero when any step fails; the last lines sum the steps up.
#
# OSTREL_BUILD_ROOT  where the build folders go (default: build/, the presets' folders)
# OSTREL_E2E_ARCH    which build the end-to-end tests run: win64 (default) or
#                    win32, the shipped one, on a kernel that runs 32-bit
#                    programs (docs/wine.md says why win64 is the default)
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}
cd "$ROOT" || exit 1

# Debian's pytest belongs to Debian's python, whatever else is on the PATH.
PYTHON=/usr/bin/python3
ARCH=${OSTREL_E2E_ARCH:-win64}
SECONDS=0
failed=()
summary=()

step() {
  local name=$1
  shift
  echo
  echo "=== $name"
  if "$@"; then
    summary+=("ok      $name")
  else
    summary+=("FAILED  $name")
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

end_to_end() {
  local log
  configure_and_build "$ARCH" || return 1
  log=$(mktemp)
  # The harness starts its own Xvfb and Wine prefixes; see tests/e2e/conftest.py.
  OSTREL_E2E_ARCH="$ARCH" OSTREL_E2E_BUILD_DIR="$BUILD/$ARCH" OSTREL_E2E_NO_BUILD=1 \
    timeout -k 30 3000 "$PYTHON" -m pytest tests/e2e -q -p no:cacheprovider | tee "$log"
  local status=${PIPESTATUS[0]}
  closing[pytest]=$(grep -E '^=*.*[0-9]+ (passed|failed|error)' "$log" | tail -1)
  rm -f "$log"
  return "$status"
}

declare -A closing=()
deps_options=()
[[ "$ARCH" == win32 ]] && deps_options=(--win32)
step "install packages" bash scripts/install-deps.sh "${deps_options[@]}"
step "host unit tests" unit_tests host
step "host unit tests under sanitizers" unit_tests host-asan
step "Windows build, 32-bit (shipped)" configure_and_build win32
step "Windows build, 64-bit" configure_and_build win64
step "end-to-end tests under Wine ($ARCH)" end_to_end

echo
echo "=== summary ($((SECONDS / 60)) min $((SECONDS % 60)) s)"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "test.sh: ${#failed[@]} step(s) failed"
else
  echo "test.sh: all steps passed"
fi
# The runners' own closing lines, last: ctest's for each unit run, then pytest's.
for runner in host host-asan pytest; do
  [[ -n "${closing[$runner]:-}" ]] && echo "${closing[$runner]}"
done
((${#failed[@]} == 0))

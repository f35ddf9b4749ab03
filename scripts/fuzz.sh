#!/usr/bin/env bash
# Coverage-guided fuzzing of OstrelSetup's program logic on the simulated
# machine (libFuzzer, clang, AddressSanitizer and UndefinedBehaviorSanitizer).
#
#   scripts/fuzz.sh [seconds] [target...] [-- libFuzzer options]   each target for `seconds` (default 60)
#   scripts/fuzz.sh --gate                             the regression gate: 20 s per target
#   scripts/fuzz.sh --merge                            minimise the kept corpora with what runs found
#
# Targets: run, messages, string_table, hardware_ids (default: all).
#
# Builds the preset host-fuzz in $OSTREL_BUILD_ROOT/host-fuzz (default
# build/host-fuzz). Each target starts from its corpus in tests/fuzz/corpus/
# and puts what it finds new in the build folder, never in the checkout. Any
# crash, leak, hang or broken check fails the script; the input that caused it
# is kept in tests/fuzz/findings/. Prints per target: executions, executions
# per second, coverage (edges) and features.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}/host-fuzz
TARGETS=(run messages string_table hardware_ids)
FINDINGS=$ROOT/tests/fuzz/findings
cd "$ROOT" || exit 1

mode=run
seconds=60
extra=()
chosen=()
while (($#)); do
  case $1 in
    --gate) mode=run seconds=20 ;;
    --merge) mode=merge ;;
    --) shift; extra=("$@"); break ;;
    run | messages | string_table | hardware_ids) chosen+=("$1") ;;
    *[!0-9]* | '') echo "usage: $0 [--gate | --merge | seconds] [target...] [-- libFuzzer options]" >&2; exit 2 ;;
    *) seconds=$1 ;;
  esac
  shift
done
((${#chosen[@]})) && TARGETS=("${chosen[@]}")

if ! timeout 1800 cmake --preset host-fuzz -B "$BUILD" >/dev/null || ! timeout 3600 cmake --build "$BUILD" -j2; then
  echo "fuzz.sh: build failed" >&2
  exit 1
fi

dictionary() {
  local dict=$ROOT/tests/fuzz/$1.dict
  [[ -f $dict ]] && echo "-dict=$dict"
}

# Everything the runs found, with the kept corpus, minimised into the kept corpus.
if [[ $mode == merge ]]; then
  for target in "${TARGETS[@]}"; do
    kept=$ROOT/tests/fuzz/corpus/$target
    merged=$(mktemp -d)
    mkdir -p "$kept" "$BUILD/corpus/$target"
    "$BUILD/tests/fuzz/fuzz_$target" -merge=1 "$merged" "$kept" "$BUILD/corpus/$target" 2>/dev/null ||
      { echo "fuzz.sh: merging $target failed" >&2; rm -rf "$merged"; exit 1; }
    rm -f "$kept"/* && cp "$merged"/* "$kept"/ && rm -rf "$merged"
    echo "$target: $(find "$kept" -type f | wc -l) inputs, $(du -sb "$kept" | cut -f1) bytes"
  done
  exit 0
fi

mkdir -p "$FINDINGS"
failed=()
report=()
for target in "${TARGETS[@]}"; do
  work=$BUILD/corpus/$target
  log=$BUILD/fuzz_$target.log
  mkdir -p "$work"
  echo "=== fuzz_$target: $seconds s"
  # shellcheck disable=SC2046 # the dictionary option is one word or none
  timeout -k 10 $((seconds + 120)) "$BUILD/tests/fuzz/fuzz_$target" "$work" "tests/fuzz/corpus/$target" \
    $(dictionary "$target") -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$FINDINGS/$target-" "${extra[@]}" >"$log" 2>&1
  status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  line="fuzz_$target: ${executions:-?} executions, ${speed:-?} exec/s, ${coverage:-no coverage}"
  if ((status != 0)); then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|broken|sim:|.*runtime error)|Test unit written' "$log" | head -20
    line="$line: FINDING (exit $status; log $log)"
    failed+=("$target")
  fi
  echo "$line"
  report+=("$line")
done

echo
echo "=== fuzz summary"
printf '%s\n' "${report[@]}"
if ((${#failed[@]})); then
  echo "fuzz.sh: findings in ${failed[*]}; inputs in $FINDINGS"
  exit 1
fi
echo "fuzz.sh: no findings"

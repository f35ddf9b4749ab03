#!/usr/bin/env bash
# Static checks: clang-tidy (checks in .clang-tidy) over the host build's
# compile database, and cppcheck over all sources. Prints findings; exits
# non-zero when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset host >/dev/null
status=0

mapfile -t sources < <(ls src/app/*.cpp src/messages/*.cpp src/device/*.cpp src/inf/*.cpp src/service/*.cpp \
                          src/platform/sim/*.cpp)
if ! clang-tidy -p build/host --quiet "${sources[@]}" 2>/dev/null | grep -E 'warning:|error:'; then :; else status=1; fi

# useStlAlgorithm: a plain loop often reads better; constParameter: Win32
# signatures are kept as Windows declares them.
if cppcheck --quiet --error-exitcode=1 --enable=warning,style,performance,portability --inline-suppr \
        --std=c++17 -I src --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
        --suppress=constParameter --suppress=constParameterPointer src; then :; else status=1; fi

[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"

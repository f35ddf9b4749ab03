#!/usr/bin/env bash
# Static checks, each over every source it applies to:
#   - the layers: an include in src/ never goes up or sideways in the order
#     of the modules (LAYERS below);
#   - clang-format: every C and C++ file of the project is formatted as
#     .clang-format says;
#   - clang-tidy (checks in .clang-tidy): the program logic, the run module
#     and the simulated machine through the host build's compile database,
#     the Windows backend through the 64-bit Windows build's;
#   - cppcheck over src/;
#   - the program's sources are ASCII: its own words are kept as narrow
#     literals and widened byte for byte (Text::append), which only ASCII
#     survives. Texts in other letters belong in the catalogue (res/).
# The files come from the compile databases, so no source list is kept here.
# Prints findings; exits non-zero when there are any.
#
#   scripts/lint.sh [build root]     (default: build/, the presets' folders)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
BUILD=${1:-build}
status=0

# The modules of src/, bottom first; those on one line stand side by side and
# may not include each other. The platform module is the operating system's
# seam; everything above it reaches the system through it alone.
LAYERS=(
  "platform"
  "base"
  "run"
  "messages"
  "device inf service"
  "app"
)
# The executable's entry point lives with the Windows backend but calls the
# application above it.
LAYER_EXCEPTIONS=("src/platform/windows/entry.cpp")

echo "--- layers"
if ! /usr/bin/python3 - "${LAYERS[@]}" -- "${LAYER_EXCEPTIONS[@]}" <<'EOF'
import re, subprocess, sys
arguments = sys.argv[1:]
split = arguments.index("--")
rank = {module: level for level, line in enumerate(arguments[:split]) for module in line.split()}
exceptions = set(arguments[split + 1:])
bad = 0
for path in subprocess.run(["git", "ls-files", "src/*.cpp", "src/*.h"], capture_output=True, text=True,
                           check=True).stdout.split():
    module = path.split("/")[1]
    if path in exceptions:
        continue
    if module not in rank:
        print(f"{path}: module {module} has no place in LAYERS (scripts/lint.sh)")
        bad += 1
        continue
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        included = re.match(r'\s*#\s*include\s+"([^/"]+)/', line)
        if not included or included.group(1) == module:
            continue
        target = included.group(1)
        if rank.get(target, len(rank)) >= rank[module]:
            print(f"{path}:{number}: {module} must not include {target} (up or sideways)")
            bad += 1
sys.exit(1 if bad else 0)
EOF
then
  status=1
fi

echo "--- ASCII sources"
if git grep -n -P '[^\x00-\x7F]' -- 'src/*.cpp' 'src/*.h'; then
  echo "non-ASCII text in src/: narrow literals are widened byte for byte"
  status=1
fi

echo "--- clang-format"
mapfile -t formatted < <(git ls-files '*.c' '*.cpp' '*.h' ':!tests/fuzz/corpus/*')
if ! clang-format --dry-run --Werror "${formatted[@]}"; then status=1; fi

# The sources of one compile database that lie in the given folder.
sources_of() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import json, os, sys
root = os.path.join(os.getcwd(), sys.argv[2]) + "/"
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root):
        print(path)
EOF
}

# clang-tidy with the cross compiler's C++ headers; clang brings its own
# intrinsics, which gcc's would contradict.
mingw_headers() {
  echo | x86_64-w64-mingw32-g++ -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ /' |
    grep -v -e '-win32/include$' -e 'include-fixed$' | sed 's/^ /--extra-arg=-isystem/'
}

tidy() {
  local database=$1 folder=$2
  shift 2
  mapfile -t files < <(sources_of "$database/compile_commands.json" "$folder" | sort -u)
  if clang-tidy -p "$database" --quiet "$@" "${files[@]}" 2>/dev/null | grep -E -A3 'warning:|error:'; then
    status=1
  fi
}

echo "--- clang-tidy"
cmake --preset host -B "$BUILD/host" >/dev/null || exit 1
cmake --preset win64 -B "$BUILD/win64" >/dev/null || exit 1
tidy "$BUILD/host" src
mapfile -t headers < <(mingw_headers)
tidy "$BUILD/win64" src/platform/windows "${headers[@]}"

echo "--- cppcheck"
# useStlAlgorithm: a plain loop often reads better; constParameter: Win32
# signatures are kept as Windows declares them.
if ! cppcheck --quiet --error-exitcode=1 --enable=warning,style,performance,portability --inline-suppr \
        --std=c++17 -I src --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
        --suppress=constParameter --suppress=constParameterPointer src; then
  status=1
fi

[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"

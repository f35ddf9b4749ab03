#!/usr/bin/env bash
# Shows OstrelSetup at work on Debian 12, as root, with or without a display:
# installs what is missing, builds both Windows programs, puts one next to the sample
# package in a Wine prefix (the 32-bit program users run, in a 32-bit prefix,
# where the machine runs 32-bit programs; the 64-bit one in a 64-bit prefix
# elsewhere, and the demo says why), runs it with the action given here, prints every
# message box it shows (the box reader presses OK, or No at a restart
# prompt), and then shows what changed on the machine.
#
#   scripts/demo.sh                               default installation of the sample INF
#   scripts/demo.sh help                          the usage text
#   scripts/demo.sh install inf OstrelSample.Tools
#   scripts/demo.sh install device 'ostrel\widget'  (also remove/disable/enable)
#   scripts/demo.sh start service OstrelSampleService
#   scripts/demo.sh /de stop service NoSuchService
#
# The words are joined with single blanks into the program's command line.
# The prefix is kept in build/demo-prefix-win32 (or -win64) for the next run;
# delete it to start from a fresh machine.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}
SERVICE=OstrelSampleService
PYTHON=/usr/bin/python3
cd "$ROOT"

if [[ "${OSTREL_DEMO_STAGE:-}" != wine ]]; then
  bash scripts/install-deps.sh >&2
  for preset in win32 win64; do
    cmake --preset "$preset" -B "$BUILD/$preset" >/dev/null
    cmake --build "$BUILD/$preset" -j2 >/dev/null
  done
  echo "demo: built $BUILD/win32/OstrelSetup.exe (32-bit, shipped) and $BUILD/win64/OstrelSetup.exe (x86-64)" >&2
  # The same test as scripts/test.sh's: install-deps.sh added Wine's 32-bit
  # loader where the kernel runs 32-bit programs; does it start?
  # shellcheck source=scripts/wine32.sh
  source scripts/wine32.sh
  no_win32=$(win32_unavailable)
  if [[ -z "$no_win32" ]]; then
    arch=win32
    echo "demo: Wine runs the 32-bit program, the one users run, in a 32-bit prefix" >&2
  else
    arch=win64
    echo "demo: Wine runs the 64-bit program in a 64-bit prefix: $no_win32 (see docs/wine.md)" >&2
  fi
  # The rest runs in the end-to-end tests' Wine set-up: a display of its own,
  # Wine's environment, and the kept prefix (made on the first run, with the
  # sample service).
  exec "$PYTHON" tests/e2e/winesetup.py --arch "$arch" --prefix "$BUILD/demo-prefix-$arch" \
    --service "$SERVICE=$BUILD/$arch/tests/e2e/tools/testsvc.exe" \
    -- env OSTREL_DEMO_STAGE=wine OSTREL_DEMO_ARCH="$arch" bash "$ROOT/scripts/demo.sh" "$@"
fi

PREFIX=$WINEPREFIX
TOOLS=$BUILD/$OSTREL_DEMO_ARCH/tests/e2e/tools

wine() { timeout -k 5 120 "$WINELOADER" "$@"; }

DEMO=$PREFIX/drive_c/OstrelDemo
mkdir -p "$DEMO"
cp "$BUILD/$OSTREL_DEMO_ARCH/OstrelSetup.exe" "$TOOLS/boxreader.exe" "$DEMO/"
cp samples/* "$DEMO/"
printf '%s' "$*" >"$DEMO/args.txt"
rm -f "$DEMO/boxes.log"

# --- a device for the device actions: Wine's driver update makes none
# (docs/wine.md), so devtool puts one with the sample's hardware ID there ---
SAMPLE_CLASS='{55eed3ce-7127-4948-a2d3-1de9eaeedd1e}'
sample_devices() { wine 'C:\OstrelDemo\devtool.exe' list "$SAMPLE_CLASS" 2>/dev/null | tr -d '\r'; }
if [[ "$*" == *"device "* ]]; then
  cp "$TOOLS/devtool.exe" "$DEMO/"
  if ! sample_devices | grep -qiF 'ostrel\widget'; then
    echo "demo: devtool makes a present device with hardware ID ostrel\\widget" >&2
    wine 'C:\OstrelDemo\devtool.exe' create "$SAMPLE_CLASS" OstrelSample 'ostrel\widget' >/dev/null
  fi
fi

echo "demo: C:\\OstrelDemo\\OstrelSetup.exe $*"
wine 'C:\OstrelDemo\boxreader.exe' --log 'C:\OstrelDemo\boxes.log' --refs 'C:\OstrelDemo\icons.bin' \
  --run 'C:\OstrelDemo\OstrelSetup.exe' --args-file 'C:\OstrelDemo\args.txt' --cwd 'C:\OstrelDemo' \
  --timeout 90 >/dev/null 2>&1 || true

"$PYTHON" - "$DEMO/boxes.log" <<'EOF'
import re, sys
escapes = {"\\": "\\", "t": "\t", "n": "\n", "r": ""}
boxes = 0
for line in open(sys.argv[1], encoding="utf-8"):
    fields = line.rstrip("\n").split("\t")
    if fields[0] == "box":
        process, caption, text, icon, buttons = fields[1:6]
        text = re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(1)), text)
        boxes += 1
        print(f'--- message box {boxes} from {process}: "{caption}", icon {icon}, buttons {buttons}')
        for text_line in text.split("\n"):
            print(f"    {text_line}")
    elif fields[0] == "exit":
        shown = "no message box" if boxes == 0 else f"{boxes} message box(es)"
        print(f"--- {shown}; the program ended with exit code {fields[1]}")
    elif fields[0] == "timeout":
        print("--- the program did not end in time and was stopped")
EOF

# --- what changed ---
words=("$@")
while [[ ${#words[@]} -gt 0 && "${words[0]}" == /* ]]; do
  [[ "${words[0]}" == /f ]] && words=("${words[@]:1}")
  words=("${words[@]:1}")
done
case "${words[*]:0:2}" in
  "start service" | "stop service" | "remove service")
    for name in "${words[@]:2}"; do
      echo "demo: sc query $name"
      if state=$(wine sc query "$name" 2>/dev/null); then
        grep STATE <<<"$state" | sed 's/^ */    /'
      else
        echo "    (no such service)"
      fi
    done
    ;;
  "")
    echo "demo: waiting for the shell's default installation (it runs on after the program)"
    for _ in $(seq 50); do
      wine reg query 'HKLM\Software\OstrelSample' /v DefaultInstall >/dev/null 2>&1 && break
      sleep 0.2
    done
    ;;
esac
case "${words[*]:0:2}" in
  "install device" | "remove device" | "disable device" | "enable device")
    echo "demo: present devices of the class OstrelSample (instance ID, hardware IDs, driver key)"
    listed=$(sample_devices)
    # shellcheck disable=SC2001 # indents every line, not one substitution
    sed 's/^/    /' <<<"${listed:-(none)}"
    ;;
esac
if [[ -z "${words[*]:0:2}" || "${words[*]:0:2}" == "install inf" ]]; then
  echo "demo: reg query HKLM\\Software\\OstrelSample"
  wine reg query 'HKLM\Software\OstrelSample' 2>/dev/null | sed -n 's/^ \{4\}/    /p' || echo "    (no such key)"
  echo "demo: files in C:\\windows\\OstrelSample"
  if [[ -d "$PREFIX/drive_c/windows/OstrelSample" ]]; then
    find "$PREFIX/drive_c/windows/OstrelSample" -maxdepth 1 -type f -printf '    %f\n' | sort
  else
    echo "    (no such folder)"
  fi
fi

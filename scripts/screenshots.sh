#!/usr/bin/env bash
# Makes the pictures of message boxes in docs/images/ (shown in docs/usage.md)
# on Debian 12, as root, with or without a display: builds the 64-bit program
# and the box reader, runs the program under Wine in a virtual display with
# each command line below, and saves each box, cropped to its frame, as PNG.
#
#   scripts/screenshots.sh
#
# German runs use a German locale (made here with localedef if missing), so
# that Wine's system texts in the boxes are German too. Wine draws the boxes
# in its own classic style; Windows frames them differently, with the same
# texts, icon and button.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OSTREL_BUILD_ROOT:-$ROOT/build}
PYTHON=/usr/bin/python3
IMAGES=$ROOT/docs/images
cd "$ROOT"

# name | locale | command line | INF file beside the program (a samples/ file or one of those below)
SHOTS=(
  "usage|C.UTF-8|help|OstrelSetup.inf"
  "command-line-en|C.UTF-8|instal device ostrel\\widget|OstrelSetup.inf"
  "command-line-de|de_DE.UTF-8|/de instal device ostrel\\widget|OstrelSetup.inf"
  "service-error-en|C.UTF-8|start service OstrelNoSuchService|OstrelSetup.inf"
  "service-error-de|de_DE.UTF-8|/de start service OstrelNoSuchService|OstrelSetup.inf"
  "no-class-guid-en|C.UTF-8|remove device ostrel\\widget|no-class-guid.inf"
  "no-class-guid-de|de_DE.UTF-8|/de remove device ostrel\\widget|no-class-guid.inf"
)
# A class Windows does not know and no ClassGuid: message 8.
NO_CLASS_GUID_INF=$'[Version]\r\nSignature = "$Windows NT$"\r\nClass = OstrelNowhere\r\n'

if [[ "${OSTREL_SHOTS_STAGE:-}" != wine ]]; then
  bash scripts/install-deps.sh >&2
  if ! locale -a | grep -qix 'de_DE.utf-\?8'; then
    echo "screenshots: making the locale de_DE.UTF-8 for Wine's German system texts" >&2
    # The locale sources come with Debian's locales package.
    [[ -e /usr/share/i18n/locales/de_DE ]] || DEBIAN_FRONTEND=noninteractive apt-get install -y locales >&2
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
  cmake --preset win64 -B "$BUILD/win64" >/dev/null
  cmake --build "$BUILD/win64" -j2 >/dev/null
  exec "$PYTHON" tests/e2e/winesetup.py --arch win64 --prefix "$BUILD/screenshots-prefix" \
    -- env OSTREL_SHOTS_STAGE=wine bash "$ROOT/scripts/screenshots.sh"
fi

WORK=$WINEPREFIX/drive_c/OstrelShots
rm -rf "$WORK"
mkdir -p "$WORK" "$IMAGES"
cp "$BUILD/win64/OstrelSetup.exe" "$BUILD/win64/tests/e2e/tools/boxreader.exe" samples/* "$WORK/"
printf '%s' "$NO_CLASS_GUID_INF" >"$WORK/no-class-guid.inf"

for shot in "${SHOTS[@]}"; do
  IFS='|' read -r name locale args inf <<<"$shot"
  run=$WORK/$name
  mkdir -p "$run"
  cp "$WORK/OstrelSetup.exe" "$run/"
  cp "$WORK/$inf" "$run/OstrelSetup.inf"
  cp "$WORK"/Ostrel*.txt "$run/"
  printf '%s' "$args" >"$run/args.txt"
  LANG=$locale timeout -k 5 120 "$WINELOADER" 'C:\OstrelShots\boxreader.exe' \
    --log "C:\\OstrelShots\\$name\\boxes.log" --refs 'C:\OstrelShots\icons.bin' --shots "C:\\OstrelShots\\$name" \
    --run "C:\\OstrelShots\\$name\\OstrelSetup.exe" --args-file "C:\\OstrelShots\\$name\\args.txt" \
    --cwd "C:\\OstrelShots\\$name" --timeout 60 >/dev/null 2>&1 || true
  boxes=$(grep -c '^box' "$run/boxes.log" || true)
  if [[ ! -f "$run/box1.ppm" || "$boxes" != 1 ]]; then
    echo "screenshots: $name: expected one box, got:" >&2
    cat "$run/boxes.log" >&2
    exit 1
  fi
  "$PYTHON" - "$run/box1.ppm" "$IMAGES/$name.png" <<'EOF'
# PPM (P6) to PNG with the standard library: 8-bit RGB, each row with the
# filter (none, sub, up) that leaves the smallest sum for the compressor.
import struct, sys, zlib

data = open(sys.argv[1], "rb").read()
magic, width, height, depth, pixels = data.split(maxsplit=4)
assert magic == b"P6" and depth == b"255"
width, height = int(width), int(height)
stride = width * 3
rows, previous = [], bytes(stride)
for y in range(height):
    row = pixels[y * stride:(y + 1) * stride]
    candidates = [
        (0, row),
        (1, bytes((row[i] - (row[i - 3] if i >= 3 else 0)) & 0xFF for i in range(stride))),
        (2, bytes((row[i] - previous[i]) & 0xFF for i in range(stride))),
    ]
    kind, filtered = min(candidates, key=lambda c: sum(b if b < 128 else 256 - b for b in c[1]))
    rows.append(bytes([kind]) + filtered)
    previous = row

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
open(sys.argv[2], "wb").write(png)
EOF
  echo "screenshots: docs/images/$name.png: $(grep '^box' "$run/boxes.log" | cut -f3-4 | tr '\t' ' ' | cut -c1-100)"
done

#!/bin/sh
# Draws res/OstrelSetup.ico (16, 32 and 48 pixels) with ImageMagick: a page
# with a folded corner (the INF file) and an arrow going into it (install),
# on a blue tile. Each size is drawn from the same 48-unit picture rather than
# scaled down from a large one, so the small sizes stay sharp.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
convert=${CONVERT:-/usr/bin/convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for size in 48 32 16; do
    scale=$(echo "scale=6; $size / 48" | bc)
    "$convert" -size "${size}x${size}" xc:none \
        -draw "scale $scale,$scale fill '#1f5f99' roundrectangle 1,1 46,46 8,8" \
        -draw "scale $scale,$scale fill white polygon 12,7 28,7 36,15 36,41 12,41" \
        -draw "scale $scale,$scale fill '#9cc3e6' polygon 28,7 28,15 36,15" \
        -draw "scale $scale,$scale fill '#f28c28' polygon 20,14 28,14 28,24 33,24 24,34 15,24 20,24" \
        -depth 8 "RGBA:$work/icon-$size.rgba"
done

# The icon file holds the three pictures as PNG, which Windows reads since
# Vista: a tenth of the size of bitmaps, and the icon is most of the
# program's resources. The PNGs are written here rather than by ImageMagick:
# rows without a filter compress a third smaller for pictures of a few flat
# colours, which ImageMagick's adaptive filtering misses.
python3 - "$work" "$here/OstrelSetup.ico" <<'PYTHON'
import struct, sys, zlib

work, target = sys.argv[1], sys.argv[2]
sizes = (16, 32, 48)

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

def png(size):
    with open(f"{work}/icon-{size}.rgba", "rb") as f:
        pixels = f.read()
    row = size * 4
    raw = b"".join(b"\0" + pixels[y * row:(y + 1) * row] for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))

pictures = [png(size) for size in sizes]
offset = 6 + 16 * len(pictures)
out = struct.pack("<HHH", 0, 1, len(pictures))
for size, picture in zip(sizes, pictures):
    out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(picture), offset)
    offset += len(picture)
with open(target, "wb") as f:
    f.write(out + b"".join(pictures))
PYTHON

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
        -strip -define png:compression-level=9 "PNG32:$work/icon-$size.png"
done

# The icon file holds the three pictures as PNG, which Windows reads since
# Vista: a tenth of the size of bitmaps, and the icon is most of the
# program's resources.
perl -e '
    my @pictures = map { local $/; open my $f, "<:raw", $_ or die "$_: $!"; <$f> } @ARGV;
    my @sizes = (16, 32, 48);
    my $offset = 6 + 16 * @pictures;
    print pack("vvv", 0, 1, scalar @pictures);
    for my $i (0 .. $#pictures) {
        print pack("CCCCvvVV", $sizes[$i], $sizes[$i], 0, 0, 1, 32, length $pictures[$i], $offset);
        $offset += length $pictures[$i];
    }
    print @pictures;
' "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" > "$here/OstrelSetup.ico"

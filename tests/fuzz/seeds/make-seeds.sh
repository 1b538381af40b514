#!/usr/bin/env bash
# Remakes the fuzz seeds of the newer formats with the formats' own encoders:
# tests/fuzz/seeds/make-seeds.sh  (needs libheif-examples, webp, libjxl-tools, libtiff-tools,
# imagemagick), and the JPEG seeds with restart markers.
set -euo pipefail
here="$(dirname "$(readlink -f "$0")")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Small pictures with a gradient and a sharp edge, so every coder has something to do:
# an RGB one, a grey one, and one with an alpha channel, written as PNG and PPM/PGM.
python3 - "$work" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
W, H = 24, 16
def px(x, y):
    return ((x * 255) // (W - 1), (y * 255) // (H - 1), 200 if x > W // 2 else 30)
def png(name, channels, fn):
    rows = b"".join(b"\0" + bytes(v for x in range(W) for v in fn(x, y)) for y in range(H))
    ct = {1: 0, 3: 2, 4: 6}[channels]
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, ct, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
    open(f"{out}/{name}.png", "wb").write(data)
png("rgb", 3, px)
png("alpha", 4, lambda x, y: px(x, y) + ((x * 255) // (W - 1),))
png("grey", 1, lambda x, y: (px(x, y)[0],))
open(f"{out}/rgb.ppm", "wb").write(b"P6 %d %d 255\n" % (W, H) +
    bytes(v for y in range(H) for x in range(W) for v in px(x, y)))
open(f"{out}/grey.pgm", "wb").write(b"P5 %d %d 255\n" % (W, H) +
    bytes(px(x, y)[0] for y in range(H) for x in range(W)))
PY

mkdir -p "$here/heif_decode" "$here/webp_decode" "$here/jxl_decode" "$here/tiff_decode"
heif-enc -q 50 -o "$here/heif_decode/rgb.heic" "$work/rgb.png" >/dev/null
heif-enc -q 50 -o "$here/heif_decode/alpha.heic" "$work/alpha.png" >/dev/null
heif-enc -A -q 50 -o "$here/heif_decode/rgb.avif" "$work/rgb.png" >/dev/null
heif-enc -A -L -o "$here/heif_decode/lossless.avif" "$work/alpha.png" >/dev/null
cwebp -quiet -q 60 "$work/rgb.png" -o "$here/webp_decode/lossy.webp"
cwebp -quiet -lossless "$work/alpha.png" -o "$here/webp_decode/lossless-alpha.webp"
cwebp -quiet -q 60 -metadata all "$work/alpha.png" -o "$here/webp_decode/lossy-alpha.webp"
img2webp -q 50 "$work/rgb.png" -lossless "$work/alpha.png" -o "$here/webp_decode/animated.webp" \
    >/dev/null 2>&1
cjxl --quiet -d 1 "$work/rgb.png" "$here/jxl_decode/lossy.jxl" 2>/dev/null
cjxl --quiet -d 0 "$work/alpha.png" "$here/jxl_decode/lossless-alpha.jxl" 2>/dev/null
cjxl --quiet -d 0 "$work/grey.png" "$here/jxl_decode/grey.jxl" 2>/dev/null
ppm2tiff "$work/rgb.ppm" "$work/rgb.tif"
ppm2tiff "$work/grey.pgm" "$work/grey.tif"
t="$here/tiff_decode"
tiffcp -c none "$work/rgb.tif" "$t/rgb-none.tif"
tiffcp -c lzw:2 "$work/rgb.tif" "$t/rgb-lzw.tif"
tiffcp -c zip -t -w 16 -l 16 "$work/rgb.tif" "$t/rgb-zip-tiles.tif"
tiffcp -c packbits -p separate "$work/rgb.tif" "$t/rgb-planar.tif"
tiffcp -c jpeg "$work/rgb.tif" "$t/rgb-jpeg.tif"
tiffcp -c lzw "$work/grey.tif" "$t/grey-lzw.tif"
tiffcp "$work/rgb.tif" "$work/grey.tif" "$t/two-pages.tif"
tiffdither "$work/grey.tif" "$work/bw.tif"
tiffcp -c g4 "$work/bw.tif" "$t/bilevel-g4.tif"
# Restart markers in each sampling layout the cut meets, on a picture tall enough to cut
# (needs libjpeg-turbo-progs and imagemagick).
r="$here/jpeg_restart_split"
mkdir -p "$r"
testdata="${ZELQOR_TESTDATA_DIR:-$here/../../../../shared/testdata}"
convert "$testdata/bmp/vgl_6434_0018a.bmp" -resize '64x272!' "$work/tall.ppm"
cjpeg -restart 1 -quality 85 "$work/tall.ppm" >"$r/rows-420.jpg"
cjpeg -restart 3B -sample 2x1 -quality 85 "$work/tall.ppm" >"$r/blocks-422.jpg"
cjpeg -restart 1 -sample 1x1 -quality 85 "$work/tall.ppm" >"$r/rows-444.jpg"
cjpeg -restart 1 -sample 1x2 "$work/tall.ppm" >"$r/rows-440.jpg"
cjpeg -restart 1 -progressive "$work/tall.ppm" >"$r/progressive.jpg"
p="$here/png_decode"
mkdir -p "$p"
cp "$work/rgb.png" "$work/grey.png" "$p/"
convert -define png:exclude-chunks=date,time "$work/rgb.png" -interlace PNG "$p/rgb-interlaced.png"
convert -define png:exclude-chunks=date,time "$work/alpha.png" -interlace PNG PNG64:"$p/alpha-16bit-interlaced.png"
convert -define png:exclude-chunks=date,time "$work/rgb.png" -colors 6 PNG8:"$p/palette.png"
convert -define png:exclude-chunks=date,time "$work/grey.png" -monochrome PNG:"$p/bilevel.png"
# Cut inside a late pass: the reader keeps what the passes gave.
head -c -40 "$p/rgb-interlaced.png" >"$p/rgb-interlaced-cut.png"
ls -l "$here"/*_decode "$r"

#!/bin/bash
# SPDX-License-Identifier: MIT
# Seeds for the PNG, JPEG and WebP fuzz targets, made here with Debian's encoders rather
# than taken from any outside collection: make-seeds.sh DIR writes DIR/png, DIR/jpeg and
# DIR/webp. Each seed is small (32 x 24) and shows one layout of its format, so that the
# fuzzer starts from every path of the decoder.
set -euo pipefail
out=${1:?usage: make-seeds.sh DIR}
mkdir -p "$out/png" "$out/jpeg" "$out/webp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The sources: a colour picture with every alpha level, its opaque and grey versions, and
# one of a few colours.
convert -size 32x24 gradient:'#e02010-#1040f0' \( -size 32x24 gradient:white-none \) \
    -compose CopyOpacity -composite -depth 16 rgba.pam
convert rgba.pam -alpha off -depth 8 rgb.ppm
convert rgb.ppm -colorspace Gray grey.pgm
convert rgba.pam -colors 12 few.pam

png() { convert "$1" -define png:exclude-chunks=date,time "${@:3}" "PNG:$out/png/$2.png"; }
png grey.pgm grey1 -define png:bit-depth=1 -define png:color-type=0
png grey.pgm grey2-interlaced -define png:bit-depth=2 -define png:color-type=0 -interlace PNG
png grey.pgm grey4 -define png:bit-depth=4 -define png:color-type=0
png grey.pgm grey8 -define png:bit-depth=8 -define png:color-type=0
png grey.pgm grey16 -define png:bit-depth=16 -define png:color-type=0
png few.pam grey-alpha8 -colorspace Gray -define png:bit-depth=8 -define png:color-type=4
png rgba.pam grey-alpha16 -colorspace Gray -define png:bit-depth=16 -define png:color-type=4
png rgb.ppm rgb8 -define png:bit-depth=8 -define png:color-type=2
png rgb.ppm rgb16-interlaced -depth 16 -define png:bit-depth=16 -define png:color-type=2 \
    -interlace PNG
png few.pam palette-alpha -type PaletteAlpha
png rgb.ppm palette4 -colors 16 -define png:bit-depth=4 -define png:color-type=3
png rgba.pam rgba8 -define png:bit-depth=8 -define png:color-type=6
png rgba.pam rgba16-interlaced -define png:bit-depth=16 -define png:color-type=6 -interlace PNG

cjpeg -outfile "$out/jpeg/baseline.jpg" rgb.ppm
cjpeg -sample 1x1 -quality 100 -outfile "$out/jpeg/444.jpg" rgb.ppm
cjpeg -progressive -outfile "$out/jpeg/progressive.jpg" rgb.ppm
cjpeg -arithmetic -outfile "$out/jpeg/arithmetic.jpg" rgb.ppm
cjpeg -progressive -arithmetic -restart 1 -outfile "$out/jpeg/progressive-arithmetic.jpg" rgb.ppm
cjpeg -grayscale -outfile "$out/jpeg/grey.jpg" grey.pgm
convert rgb.ppm -colorspace CMYK "$out/jpeg/cmyk.jpg"
convert rgb.ppm -orient RightTop "$out/jpeg/exif-orientation.jpg"

cwebp -quiet -q 70 rgb.ppm -o "$out/webp/lossy.webp"
cwebp -quiet -q 70 -alpha_filter best rgba.pam -o "$out/webp/lossy-alpha.webp"
cwebp -quiet -lossless -exact rgba.pam -o "$out/webp/lossless.webp"
cwebp -quiet -near_lossless 40 rgba.pam -o "$out/webp/near-lossless.webp"
img2webp -lossless rgba.pam -lossy -q 50 rgb.ppm -o "$out/webp/animation.webp" >/dev/null 2>&1

#!/usr/bin/env bash
# Whole processes side by side on a 4000 x 3000 photo-like image, one thread each: our Gaussian
# blur of the grey image at radius 2 and 10 against ImageMagick's -gaussian-blur and vips
# gaussblur, and our reduction to 256 colours against ImageMagick's -colors 256 +dither. Each
# pair runs in turn after a warm-up (../shared/bench/compare or the copy given in COMPARE); the
# outputs are compared first (PSNR against the peer's), since a ratio means nothing otherwise.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_colours"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-5}
[ -x "$bench" ] || { echo "compare-colours: $bench is not built" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-colours: ImageMagick's convert is missing" >&2; exit 1; }
command -v vips >/dev/null || { echo "compare-colours: vips (libvips-tools) is missing" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-colours: no compare script at $compare" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -seed 4 -size 4000x3000 plasma:fractal -blur 0x1 -depth 8 "$work/in.ppm"
convert "$work/in.ppm" -colorspace gray -depth 8 "$work/in.pgm"
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1

psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }
for r in 2 10; do
  "$bench" --blur "$r" "$work/in.pgm" "$work/ours.pgm"
  convert "$work/in.pgm" -gaussian-blur "0x$r" "$work/im.pgm"
  vips gaussblur "$work/in.pgm" "$work/vips.pgm" "$r"
  echo "== Gaussian blur, radius $r: PSNR ours/IM $(psnr "$work/ours.pgm" "$work/im.pgm") dB," \
       "ours/vips $(psnr "$work/ours.pgm" "$work/vips.pgm") dB"
  echo "-- against ImageMagick"
  "$compare" -n "$runs" -- "$bench --blur $r $work/in.pgm $work/ours.pgm" \
    "convert $work/in.pgm -gaussian-blur 0x$r $work/im.pgm"
  echo "-- against vips"
  "$compare" -n "$runs" -- "$bench --blur $r $work/in.pgm $work/ours.pgm" \
    "vips gaussblur $work/in.pgm $work/vips.pgm $r"
done

"$bench" --colors 256 "$work/in.ppm" "$work/ours.ppm"
convert "$work/in.ppm" +dither -colors 256 "$work/im.ppm"
echo "== 256 colours: colours ours $(identify -format %k "$work/ours.ppm"), IM $(identify -format %k "$work/im.ppm");" \
     "PSNR to the input ours $(psnr "$work/ours.ppm" "$work/in.ppm") dB, IM $(psnr "$work/im.ppm" "$work/in.ppm") dB"
"$compare" -n "$runs" -- "$bench --colors 256 $work/in.ppm $work/ours.ppm" \
  "convert $work/in.ppm +dither -colors 256 $work/im.ppm"

#!/usr/bin/env bash
# ie24RGB -> ie8g side by side with ImageMagick on the same 4000 x 3000 image: both are whole
# processes that read a binary PPM, convert it to grey and write a binary PGM. The two greys are
# checked first (same size, PSNR at least MIN_PSNR dB, default 30: the weights differ a little),
# then the two are timed in turn (../shared/bench/compare, or the copy named by COMPARE): median
# ratio ours/ImageMagick with its spread and each side's peak memory.
#   compare-iebitmap.sh [BUILD-DIR]        RUNS pairs (default 7)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_iebitmap"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-7}
min_psnr=${MIN_PSNR:-30}
[ -x "$bench" ] || { echo "compare-iebitmap: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-iebitmap: no compare script at $compare" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-iebitmap: ImageMagick's convert is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"

ours="$bench --ppm $work/in.ppm $work/ours.pgm"
peer="convert $work/in.ppm -colorspace gray $work/magick.pgm"
bash -c "$ours" && bash -c "$peer"
size=$(identify -format '%wx%h %[type]' "$work/ours.pgm")
p=$(compare -metric PSNR "$work/ours.pgm" "$work/magick.pgm" null: 2>&1 || true)
if [ "$size" != "4000x3000 Grayscale" ] ||
  ! awk -v p="$p" -v m="$min_psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= m) }'; then
  echo "compare-iebitmap: ours is $size at $p dB from ImageMagick's grey; no ratio" >&2
  exit 1
fi
echo "ie24RGB -> ie8g, 4000 x 3000, PPM in, PGM out (PSNR $p dB); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$compare" -n "$runs" -- "$ours" "$peer"

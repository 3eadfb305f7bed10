#!/usr/bin/env bash
# ie24RGB -> ie8g side by side with ImageMagick on the same 4000 x 3000 image: both read a binary
# PPM, convert it to grey and write a binary PGM. Prints the best wall-clock time of each over
# five runs and the ratio (ImageMagick time / ours; above 1 means we are faster).
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_iebitmap"
[ -x "$bench" ] || { echo "compare-iebitmap: $bench is not built" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-iebitmap: ImageMagick's convert is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"

best() {  # best wall-clock milliseconds of a command over five runs
  local best_ms=
  for _ in 1 2 3 4 5; do
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    local ms=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
  done
  echo "$best_ms"
}

ours=$(best "$bench" --ppm "$work/in.ppm" "$work/ours.pgm")
theirs=$(best convert "$work/in.ppm" -colorspace gray "$work/magick.pgm")
identify -format 'ours: %wx%h %[type]\n' "$work/ours.pgm"
echo "ie24RGB -> ie8g, 4000 x 3000, PPM in, PGM out"
echo "  TIEBitmap:   ${ours} ms"
echo "  ImageMagick: ${theirs} ms"
awk -v a="$theirs" -v b="$ours" 'BEGIN { if (b < 1) b = 1; printf "  ratio (ImageMagick / TIEBitmap): %.2f\n", a / b }'

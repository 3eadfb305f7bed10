#!/usr/bin/env bash
# Our JPEG and PNG load and save side by side with libjpeg's and libpng's own tools on the same
# 4000 x 3000 photo: djpeg/cjpeg and pngtopam/pnmtopng. Every job is one whole process that reads
# a file and writes a file; start-up counts on both sides, as the user pays it on both. The
# pictures written are checked equal pixel for pixel (ImageMagick's compare, the JPEG files after
# decoding both) before the two are timed in turn (../shared/bench/compare, or the copy named by
# COMPARE): median ratio with its spread and each side's peak memory.
#   compare-codecs.sh [BUILD-DIR]            RUNS pairs (default 9)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-9}
[ -x "$bench" ] || { echo "compare-codecs: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-codecs: no compare script at $compare" >&2; exit 1; }
for tool in convert compare djpeg cjpeg pngtopam pnmtopng; do
  command -v $tool >/dev/null || { echo "compare-codecs: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like picture: smooth areas, edges and noise.
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 +noise Gaussian -depth 8 "$work/photo.ppm" 2>/dev/null ||
  convert -size 4000x3000 gradient:red-blue -swirl 200 +noise Gaussian -depth 8 "$work/photo.ppm"
cjpeg -quality 90 "$work/photo.ppm" > "$work/photo.jpg"
pnmtopng "$work/photo.ppm" > "$work/photo.png"

# Pixels equal; a JPEG is decoded first, by djpeg, for both sides.
same_pixels() {
  local a=$1 b=$2
  if [[ $a == *.jpg ]]; then
    djpeg "$a" >"$a.ppm" && djpeg "$b" >"$b.ppm"
    a=$a.ppm b=$b.ppm
  fi
  local ae
  ae=$(compare -metric AE "$a" "$b" null: 2>&1) || true
  [ "$ae" = 0 ] || { echo "compare-codecs: $1 and $2 differ in $ae pixels" >&2; return 1; }
}

row() {  # label, our command, their command, our output, their output
  bash -c "$2" >/dev/null
  bash -c "$3"
  same_pixels "$4" "$5"
  echo "== $1: the same pixels on both sides"
  "$compare" -n "$runs" -- "$2" "$3"
}

echo "4000 x 3000 photo, file in and file out; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
row "JPEG load" "$bench --jpeg-load $work/photo.jpg $work/ours.ppm" "djpeg $work/photo.jpg > $work/theirs.ppm" \
  "$work/ours.ppm" "$work/theirs.ppm"
row "JPEG save" "$bench --jpeg-save $work/photo.ppm $work/ours.jpg" "cjpeg -quality 75 $work/photo.ppm > $work/theirs.jpg" \
  "$work/ours.jpg" "$work/theirs.jpg"
row "PNG load" "$bench --png-load $work/photo.png $work/ours.ppm" "pngtopam $work/photo.png > $work/theirs.ppm" \
  "$work/ours.ppm" "$work/theirs.ppm"
row "PNG save" "$bench --png-save $work/photo.ppm $work/ours.png" "pnmtopng $work/photo.ppm > $work/theirs.png" \
  "$work/ours.png" "$work/theirs.png"
ls -l "$work"/ours.png "$work"/theirs.png | awk '{ print "  " $5 " bytes  " $9 }'

#!/usr/bin/env bash
# Our TIFF reader and writer side by side with libtiff's tiffcp on the same 4000 x 3000 photo,
# file in and file out, both sides loading and saving through their own code: an LZW and a
# Deflate file rewritten uncompressed (ours against `tiffcp -c none`), and an uncompressed file
# rewritten as LZW and as Deflate (ours against `tiffcp -c lzw` and `tiffcp -c zip`). Each pair
# is timed as two whole processes, run in turn after a warm-up, by ../shared/bench/compare
# (median wall and CPU, peak memory, median ratio ours / theirs with its spread); below 1.0
# means ours is faster. The outputs are checked first: both decode under tiff2rgba to the same
# pixels as the input.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
[ -x "$bench" ] || { echo "compare-tiff: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-tiff: $compare is missing (set COMPARE)" >&2; exit 1; }
for tool in convert ppm2tiff tiffcp tiff2rgba; do
  command -v $tool >/dev/null || { echo "compare-tiff: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like picture: smooth areas, edges and noise.
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 +noise Gaussian -depth 8 "$work/photo.ppm" 2>/dev/null ||
  convert -size 4000x3000 gradient:red-blue -swirl 200 +noise Gaussian -depth 8 "$work/photo.ppm"
ppm2tiff -c none "$work/photo.ppm" "$work/none.tif"
tiffcp -c lzw "$work/none.tif" "$work/lzw.tif"
tiffcp -c zip "$work/none.tif" "$work/zip.tif"

pixels() {  # the file's pixels as libtiff's RGBA interface decodes them
  tiff2rgba -c none "$1" "$1.rgba" && tifftopnm "$1.rgba" 2>/dev/null | tail -c $((4000 * 3000 * 3)) | md5sum | cut -d' ' -f1
  rm -f "$1.rgba"
}
want=$(pixels "$work/none.tif")
same() {  # label, file: a ratio counts only for outputs that hold the input's pixels
  [ "$(pixels "$2")" = "$want" ] || { echo "compare-tiff: $1: $2 does not hold the input's pixels" >&2; exit 1; }
}
for c in none lzw zip; do
  for from in none lzw zip; do
    [ "$c" = none ] && [ "$from" = none ] && continue
    [ "$c" != none ] && [ "$from" != none ] && continue
    "$bench" --tiff-rewrite-$c "$work/$from.tif" "$work/ours-$from-$c.tif" >/dev/null
    tiffcp -c $c "$work/$from.tif" "$work/theirs-$from-$c.tif"
    same "$from to $c (ours)" "$work/ours-$from-$c.tif"
    same "$from to $c (tiffcp)" "$work/theirs-$from-$c.tif"
  done
done

runs=${REPS:-9}
row() {  # label, our command, their command
  echo "$1"
  "$compare" -n "$runs" -w 1 -- "$2" "$3" | sed 's/^/  /'
}
echo "4000 x 3000 photo, file in and file out; load average $(cut -d' ' -f1-3 /proc/loadavg)"
row "LZW rewritten uncompressed (ours / tiffcp -c none)" \
  "$bench --tiff-rewrite-none $work/lzw.tif $work/o.tif" "tiffcp -c none $work/lzw.tif $work/t.tif"
row "Deflate rewritten uncompressed (ours / tiffcp -c none)" \
  "$bench --tiff-rewrite-none $work/zip.tif $work/o.tif" "tiffcp -c none $work/zip.tif $work/t.tif"
row "uncompressed rewritten as LZW (ours / tiffcp -c lzw)" \
  "$bench --tiff-rewrite-lzw $work/none.tif $work/o.tif" "tiffcp -c lzw $work/none.tif $work/t.tif"
row "uncompressed rewritten as Deflate (ours / tiffcp -c zip)" \
  "$bench --tiff-rewrite-zip $work/none.tif $work/o.tif" "tiffcp -c zip $work/none.tif $work/t.tif"
ls -l "$work"/ours-none-lzw.tif "$work"/theirs-none-lzw.tif "$work"/ours-none-zip.tif "$work"/theirs-none-zip.tif |
  awk '{ print "  " $5 " bytes  " $9 }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

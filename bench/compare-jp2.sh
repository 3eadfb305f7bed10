#!/usr/bin/env bash
# Our JPEG 2000 codec side by side with OpenJPEG's own tools on the same 4000 x 3000 photo:
# opj_decompress for reading (JP2 or code stream in, PPM out on both sides) and opj_compress for
# writing (the same PPM in, lossless with both sides' defaults: 6 resolutions, one layer, LRCP,
# the colour transform). The same library does the wavelet work on both sides, so the ratio
# measures what each adds around it. Both run with the library's default thread count (one,
# unless OPJ_NUM_THREADS says otherwise; it is unset here), which the CPU column shows. Each pair
# is timed as two whole processes, run in turn after a warm-up, by ../shared/bench/compare
# (median wall and CPU, peak memory, median ratio ours / theirs with its spread); below 1.0 means
# ours is faster. The outputs are checked equal first: the PPMs' sizes and samples, the code
# streams byte for byte.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
[ -x "$bench" ] || { echo "compare-jp2: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-jp2: $compare is missing (set COMPARE)" >&2; exit 1; }
for tool in convert opj_compress opj_decompress; do
  command -v $tool >/dev/null || { echo "compare-jp2: $tool is missing" >&2; exit 1; }
done
unset OPJ_NUM_THREADS

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like picture: smooth areas, edges and noise.
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 +noise Gaussian -depth 8 "$work/photo.ppm" 2>/dev/null ||
  convert -size 4000x3000 gradient:red-blue -swirl 200 +noise Gaussian -depth 8 "$work/photo.ppm"
opj_compress -i "$work/photo.ppm" -o "$work/photo.jp2" >/dev/null
opj_compress -i "$work/photo.ppm" -o "$work/photo.j2k" >/dev/null

same() {  # label, PPM, PPM: a ratio counts only for equal outputs
  # opj_decompress writes a comment into the header: the size is checked, then the samples.
  local pixels=$((4000 * 3000 * 3))
  [ "$(grep -a -v '^#' "$2" | head -c 20 | tr -s ' \n' '  ' | cut -d' ' -f1-4)" = \
    "$(grep -a -v '^#' "$3" | head -c 20 | tr -s ' \n' '  ' | cut -d' ' -f1-4)" ] &&
    cmp -s <(tail -c "$pixels" "$2") <(tail -c "$pixels" "$3") ||
    { echo "compare-jp2: $1: the outputs differ ($2, $3)" >&2; exit 1; }
}
for kind in jp2 j2k; do
  "$bench" --jp2-load "$work/photo.$kind" "$work/ours-$kind.ppm" >/dev/null
  opj_decompress -i "$work/photo.$kind" -o "$work/theirs-$kind.ppm" >/dev/null
  same "$kind decode" "$work/ours-$kind.ppm" "$work/theirs-$kind.ppm"
  same "$kind decode (the input)" "$work/ours-$kind.ppm" "$work/photo.ppm"
  "$bench" --$kind-save "$work/photo.ppm" "$work/ours.$kind" >/dev/null
  cmp -s "$work/ours.$kind" "$work/photo.$kind" ||
    { echo "compare-jp2: $kind encode: the outputs differ ($work/ours.$kind, $work/photo.$kind)" >&2; exit 1; }
done

runs=${REPS:-9}
row() {  # label, our command, their command
  echo "$1"
  "$compare" -n "$runs" -w 1 -- "$2" "$3" | sed 's/^/  /'
}
echo "4000 x 3000 photo, file in and file out; load average $(cut -d' ' -f1-3 /proc/loadavg)"
row "JP2 decode (ours / opj_decompress)" "$bench --jp2-load $work/photo.jp2 $work/o.ppm" "opj_decompress -i $work/photo.jp2 -o $work/t.ppm"
row "J2K decode (ours / opj_decompress)" "$bench --jp2-load $work/photo.j2k $work/o.ppm" "opj_decompress -i $work/photo.j2k -o $work/t.ppm"
row "JP2 encode (ours / opj_compress)" "$bench --jp2-save $work/photo.ppm $work/o.jp2" "opj_compress -i $work/photo.ppm -o $work/t.jp2"
row "J2K encode (ours / opj_compress)" "$bench --j2k-save $work/photo.ppm $work/o.j2k" "opj_compress -i $work/photo.ppm -o $work/t.j2k"
ls -l "$work"/photo.jp2 "$work"/photo.j2k | awk '{ print "  " $5 " bytes  " $9 }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

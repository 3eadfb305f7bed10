#!/usr/bin/env bash
# Our DICOM reader side by side with dcmtk's dcmj2pnm on a 4000 x 3000 16-bit grey image in
# lossless JPEG (dcmcjpeg +el, predictor 6): file in, 8-bit PGM out on both sides (the image
# spans the whole 16-bit range, so dcmtk's plain rendering and our stretch give the same
# samples). Timed as two whole processes, run in turn after a warm-up, by ../shared/bench/compare
# (median wall and CPU, peak memory, median ratio ours / theirs with its spread); below 1.0 means
# ours is faster. The outputs are checked equal first.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
make="$(dirname "$0")/../tests/imaging/formats/tools/make_dicom.py"
[ -x "$bench" ] || { echo "compare-dicom: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-dicom: $compare is missing (set COMPARE)" >&2; exit 1; }
for tool in convert python3 dcmcjpeg dcmj2pnm; do
  command -v $tool >/dev/null || { echo "compare-dicom: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like grey picture over the whole 16-bit range: smooth areas, edges and noise.
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 +noise Gaussian -colorspace gray -auto-level -depth 16 \
  "$work/photo.pgm"
python3 "$make" "$work/native.dcm" 4000 3000 bits=16 pattern=pgm="$work/photo.pgm"
dcmcjpeg +el "$work/native.dcm" "$work/photo.dcm"

same() {  # label, PGM, PGM: a ratio counts only for equal outputs
  local pixels=$((4000 * 3000))
  [ "$(head -c 20 "$2" | tr -s ' \n' '  ' | cut -d' ' -f1-4)" = "$(head -c 20 "$3" | tr -s ' \n' '  ' | cut -d' ' -f1-4)" ] &&
    cmp -s <(tail -c "$pixels" "$2") <(tail -c "$pixels" "$3") ||
    { echo "compare-dicom: $1: the outputs differ ($2, $3)" >&2; exit 1; }
}
"$bench" --dicom-load "$work/photo.dcm" "$work/ours.pgm" >/dev/null
dcmj2pnm "$work/photo.dcm" "$work/theirs.pgm"
same "DICOM lossless decode" "$work/ours.pgm" "$work/theirs.pgm"

runs=${REPS:-9}
echo "4000 x 3000 16-bit grey, lossless JPEG, file in and file out; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "DICOM lossless decode (ours / dcmj2pnm)"
"$compare" -n "$runs" -w 1 -- "$bench --dicom-load $work/photo.dcm $work/o.pgm" "dcmj2pnm $work/photo.dcm $work/t.pgm" |
  sed 's/^/  /'
ls -l "$work"/photo.dcm | awk '{ print "  " $5 " bytes  " $9 }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env bash
# Our JPEG and PNG load and save side by side with libjpeg's and libpng's own tools on the same
# 4000 x 3000 photo: djpeg/cjpeg and pngtopam/pnmtopng. Every job reads a file and writes a
# file (PPM on the other side). Ours and theirs run in turn REPS times (default 9); printed are
# the median time of each and the median of the paired ratios ours / theirs. Our time is
# measured inside our program from opening the input to closing the output (the start of a
# process that links Qt and FFmpeg is no codec time); theirs is the tools' whole wall-clock
# time. Below 1.05 for JPEG and 1.1 for PNG means our own overhead is small.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
[ -x "$bench" ] || { echo "compare-codecs: $bench is not built" >&2; exit 1; }
for tool in convert djpeg cjpeg pngtopam pnmtopng; do
  command -v $tool >/dev/null || { echo "compare-codecs: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like picture: smooth areas, edges and noise.
convert -size 4000x3000 plasma:fractal -seed 7 -blur 0x1 +noise Gaussian -depth 8 "$work/photo.ppm" 2>/dev/null ||
  convert -size 4000x3000 gradient:red-blue -swirl 200 +noise Gaussian -depth 8 "$work/photo.ppm"
cjpeg -quality 90 "$work/photo.ppm" > "$work/photo.jpg"
pnmtopng "$work/photo.ppm" > "$work/photo.png"

reps=${REPS:-9}

ms_of() {  # wall-clock milliseconds of a shell command
  local t0 t1
  t0=$(date +%s%N)
  bash -c "$1" >/dev/null
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

row() {  # label, our command, their command
  # The machine is shared: ours and theirs take turns, so a busy spell hits both alike, and the
  # medians leave out the odd slow run on either side.
  local ours=() theirs=() ratios=()
  for _ in $(seq "$reps"); do
    local a b
    a=$(bash -c "$2")
    b=$(ms_of "$3")
    [ "$b" -lt 1 ] && b=1
    ours+=("$a")
    theirs+=("$b")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", a / b }')")
  done
  local mo mt mr
  mo=$(printf '%s\n' "${ours[@]}" | median)
  mt=$(printf '%s\n' "${theirs[@]}" | median)
  mr=$(printf '%s\n' "${ratios[@]}" | median)
  awk -v l="$1" -v a="$mo" -v b="$mt" -v r="$mr" -v n="$reps" \
    'BEGIN { printf "  %-10s ours %7.1f ms   theirs %7.1f ms   median ratio (ours / theirs) %.3f over %d pairs\n", l, a, b, r, n }'
}

echo "4000 x 3000 photo, file in and file out"
row "JPEG load" "$bench --jpeg-load $work/photo.jpg $work/ours.ppm" "djpeg $work/photo.jpg > $work/theirs.ppm"
row "JPEG save" "$bench --jpeg-save $work/photo.ppm $work/ours.jpg" "cjpeg $work/photo.ppm > $work/theirs.jpg"
row "PNG load" "$bench --png-load $work/photo.png $work/ours.ppm" "pngtopam $work/photo.png > $work/theirs.ppm"
row "PNG save" "$bench --png-save $work/photo.ppm $work/ours.png" "pnmtopng $work/photo.ppm > $work/theirs.png"
cmp -s "$work/ours.jpg" "$work/theirs.jpg" || echo "  (the JPEG files differ: markers and density)"
ls -l "$work"/ours.png "$work"/theirs.png | awk '{ print "  " $5 " bytes  " $9 }'

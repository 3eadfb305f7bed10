#!/usr/bin/env bash
# The image view drawing a 4000 x 3000 24-bit image into a 1000 x 750 client, side by side with
# ImageMagick doing the same scaling on one thread: at the fitting zoom (25 %) with each zoom
# filter against the closest ImageMagick filter, and at 100 % scrolled against a crop of the same
# 1000 x 750 part. Every side is one whole process that reads the same PPM and writes the
# 1000 x 750 picture as a PPM (ours: the view's back buffer after one redraw). The pictures are
# checked first (same size, PSNR at least MIN_PSNR dB, default 30), then the two are timed in turn
# (../shared/bench/compare, or the copy named by COMPARE): median ratio ours/peer with its spread
# and each side's peak memory.
#   compare-view.sh [BUILD-DIR]        RUNS pairs (default 5)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_view"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-5}
min_psnr=${MIN_PSNR:-30}
[ -x "$bench" ] || { echo "compare-view: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-view: no compare script at $compare" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-view: ImageMagick's convert is missing" >&2; exit 1; }
export MAGICK_THREAD_LIMIT=1 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"

cases=("fit None" "fit FastLinear" "fit Triangle" "fit Bicubic" "fit Lanczos3" "100% scrolled")
magick=("-sample 1000x750!" "-filter Triangle -resize 1000x750!" "-filter Triangle -resize 1000x750!"
  "-filter Catrom -resize 1000x750!" "-filter Lanczos -resize 1000x750!" "-crop 1000x750+1500+1100 +repage")

echo "4000 x 3000 image in a 1000 x 750 view, 24-bit, one thread, PPM in and out; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for i in "${!cases[@]}"; do
  c=${cases[$i]}
  ours="$bench --file '$c' $work/in.ppm $work/ours.ppm"
  peer="convert $work/in.ppm ${magick[$i]} $work/im.ppm"
  bash -c "$ours" && bash -c "$peer"
  size=$(identify -format '%wx%h' "$work/ours.ppm")
  p=$(compare -metric PSNR "$work/ours.ppm" "$work/im.ppm" null: 2>&1 || true)
  if [ "$size" != 1000x750 ] ||
    ! awk -v p="$p" -v m="$min_psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= m) }'; then
    echo "== $c: our picture is $size at $p dB from ImageMagick's; no ratio" >&2
    continue
  fi
  echo "== $c against ImageMagick ${magick[$i]} (PSNR $p dB)"
  "$compare" -n "$runs" -- "$ours" "$peer"
done

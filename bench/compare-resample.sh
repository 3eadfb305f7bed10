#!/usr/bin/env bash
# 4000 x 3000 -> 1000 x 750 with each filter, one thread, side by side with ImageMagick, Pillow
# and libvips on the closest filter each has. Every side is one whole process that reads the same
# PPM, scales it and writes a PPM; start-up and file I/O count on both sides. Each peer's picture is
# first checked against ours (same size, PSNR at least MIN_PSNR dB, default 30: the filters differ
# a little, the picture must not); then the two are timed in turn (../shared/bench/compare, or the
# copy named by COMPARE): median ratio ours/peer with its spread and each side's peak memory.
#   compare-resample.sh [BUILD-DIR] [FILTER...]        RUNS pairs (default 5)
set -euo pipefail
build=${1:-build}
shift || true
bench="$build/bench/bench_resample"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-5}
min_psnr=${MIN_PSNR:-30}
[ -x "$bench" ] || { echo "compare-resample: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-resample: no compare script at $compare" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-resample: ImageMagick's convert is missing" >&2; exit 1; }
# Debian's Pillow belongs to the system's python, which another python on the path may hide.
py=python3
"$py" -c 'import PIL' 2>/dev/null || py=/usr/bin/python3
"$py" -c 'import PIL' 2>/dev/null || { echo "compare-resample: Pillow (python3-pil) is missing" >&2; exit 1; }
command -v vips >/dev/null || { echo "compare-resample: vips (libvips-tools) is missing" >&2; exit 1; }
export MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"
cat >"$work/pil.py" <<'PY'
import sys
from PIL import Image
Image.open(sys.argv[1]).resize((1000, 750), getattr(Image, sys.argv[3]), reducing_gap=None).save(sys.argv[2])
PY

# ours: ImageMagick resize options | Pillow filter | vips kernel
declare -A peers=(
  [None]="-sample 1000x750!|NEAREST|nearest"
  [Triangle]="-filter Triangle -resize 1000x750!|BILINEAR|linear"
  [Hermite]="-filter Hermite -resize 1000x750!|BILINEAR|linear"
  [Bell]="-filter Quadratic -resize 1000x750!|BILINEAR|linear"
  [BSpline]="-filter Spline -resize 1000x750!|BICUBIC|cubic"
  [Lanczos3]="-filter Lanczos -resize 1000x750!|LANCZOS|lanczos3"
  [Mitchell]="-filter Mitchell -resize 1000x750!|BICUBIC|mitchell"
  [Nearest]="-filter Box -resize 1000x750!|BOX|nearest"
  [Linear]="-filter Triangle -resize 1000x750!|BILINEAR|linear"
  [FastLinear]="-filter Triangle -resize 1000x750!|BILINEAR|linear"
  [Bilinear]="-filter Triangle -resize 1000x750!|BILINEAR|linear"
  [Bicubic]="-filter Catrom -resize 1000x750!|BICUBIC|cubic"
  [ProjectBW]="-filter Box -resize 1000x750!|BOX|nearest"
  [ProjectWB]="-filter Box -resize 1000x750!|BOX|nearest"
)
filters=("$@")
[ ${#filters[@]} -gt 0 ] || filters=(None Triangle Hermite Bell BSpline Lanczos3 Mitchell Nearest Linear FastLinear
  Bilinear Bicubic ProjectBW ProjectWB)

psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }

# label, our command, peer command, peer output: the ratio only when the pictures agree.
pair() {
  bash -c "$3" >/dev/null
  local size p
  size=$(identify -format '%wx%h' "$4")
  p=$(psnr "$work/ours.ppm" "$4")
  if [ "$size" != 1000x750 ] ||
    ! awk -v p="$p" -v m="$min_psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= m) }'; then
    echo "-- $1: the peer's picture is $size at $p dB from ours; no ratio" >&2
    return 0
  fi
  echo "-- $1 (PSNR $p dB)"
  "$compare" -n "$runs" -- "$2" "$3"
}

echo "4000 x 3000 -> 1000 x 750, 24-bit, one thread, PPM in and out; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for f in "${filters[@]}"; do
  [ -n "${peers[$f]:-}" ] || { echo "compare-resample: unknown filter $f" >&2; exit 1; }
  IFS='|' read -r im pil kernel <<<"${peers[$f]}"
  ours="$bench --file $f $work/in.ppm $work/ours.ppm"
  bash -c "$ours"
  echo "== $f"
  pair "ImageMagick $im" "$ours" "convert $work/in.ppm $im $work/im.ppm" "$work/im.ppm"
  pair "Pillow $pil" "$ours" "$py $work/pil.py $work/in.ppm $work/pil.ppm $pil" "$work/pil.ppm"
  pair "vips $kernel" "$ours" "vips resize $work/in.ppm $work/vips.ppm 0.25 --kernel $kernel" "$work/vips.ppm"
done

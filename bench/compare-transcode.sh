#!/usr/bin/env bash
# The frame extraction "every 50 frames" task side by side with the ffmpeg tool: a 1920 x 1080
# H.264 clip of 30 seconds at 25 frames a second, the same input and output options for both
# (one JPEG per 50 frames over the whole clip). Prints both times, the ratio (ffmpeg time / ours;
# above 1 means we are faster) and the number of images each wrote.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_transcode"
[ -x "$bench" ] || { echo "compare-transcode: $bench is not built" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-transcode: ffmpeg is missing" >&2; exit 1; }

fixtures="$build/fixtures"
mkdir -p "$fixtures"
clip="$fixtures/transcode-bench-1080p.mp4"
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=30 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ours" "$work/ffmpeg"
input_options=" -ss 00:00:00.000"
output_options=" -y -q:v 0 -f image2 -t 00:00:30.000 -vsync vfr -vf select=not(mod(n\,50))"

runs=3
best_ours=""
best_theirs=""
for _ in $(seq $runs); do
  ours=$("$bench" "$clip" "$input_options" "$work/ours/clip.mp4-%d.jpg" "$output_options")
  t0=$(date +%s%N)
  # shellcheck disable=SC2086
  ffmpeg -nostdin -v error $input_options -i "$clip" $output_options "$work/ffmpeg/clip.mp4-%d.jpg"
  t1=$(date +%s%N)
  theirs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
  best_ours=$(awk -v a="$best_ours" -v b="$ours" 'BEGIN { print (a == "" || b < a) ? b : a }')
  best_theirs=$(awk -v a="$best_theirs" -v b="$theirs" 'BEGIN { print (a == "" || b < a) ? b : a }')
done

count_ours=$(find "$work/ours" -name '*.jpg' | wc -l)
count_theirs=$(find "$work/ffmpeg" -name '*.jpg' | wc -l)
printf '%-8s %12s %8s\n' "" "best of $runs ms" "images"
printf '%-8s %12s %8s\n' "ours" "$best_ours" "$count_ours"
printf '%-8s %12s %8s\n' "ffmpeg" "$best_theirs" "$count_theirs"
awk -v a="$best_theirs" -v b="$best_ours" 'BEGIN { printf "ratio (ffmpeg / ours): %.2f\n", a / b }'
[ "$count_ours" = "$count_theirs" ] || { echo "compare-transcode: image counts differ" >&2; exit 1; }

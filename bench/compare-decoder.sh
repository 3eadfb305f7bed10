#!/usr/bin/env bash
# Preview frames side by side with the ffmpeg tool: 50 random positions of a 1920 x 1080 H.264
# clip whose keyframes are 250 frames apart. Ours opens the clip once and, per position, seeks
# back to the keyframe, decodes on to the picture at the position and copies it into a 32-bit
# bitmap (what a preview does). ffmpeg extracts the same single picture per position in a
# process of its own (-ss before -i: the first picture at or after it). Prints both times and the
# ratio per frame (ffmpeg time / ours; above 1 means we are faster), and checks that the two
# pictures are the same bytes.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_decoder"
[ -x "$bench" ] || { echo "compare-decoder: $bench is not built" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-decoder: ffmpeg is missing" >&2; exit 1; }

fixtures="$build/fixtures"
mkdir -p "$fixtures"
clip="$fixtures/decoder-bench-1080p.mp4"
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=20 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 250 -keyint_min 250 -sc_threshold 0 \
    -movflags +faststart "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t times < <(awk 'BEGIN { srand(2024); for (i = 0; i < 50; i++) printf "%.3f\n", rand() * 19.9 }')

"$bench" --frames "$clip" "$work" "${times[@]}" > "$work/ours.txt"

printf '%-4s %8s %12s %12s %8s %s\n' "#" "time s" "ours ms" "ffmpeg ms" "ratio" "same picture"
sum_ours=0
sum_theirs=0
i=0
while read -r t ours_ms; do
  t0=$(date +%s%N)
  ffmpeg -nostdin -v error -ss "$t" -i "$clip" -frames:v 1 -f rawvideo -pix_fmt bgra \
    -y "$work/ffmpeg-$i.bgra"
  t1=$(date +%s%N)
  theirs_ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
  same=no
  cmp -s "$work/$i.bgra" "$work/ffmpeg-$i.bgra" && same=yes
  awk -v n="$i" -v t="$t" -v a="$ours_ms" -v b="$theirs_ms" -v s="$same" \
    'BEGIN { r = (a > 0) ? b / a : 0; printf "%-4d %8.3f %12.3f %12.3f %8.2f %s\n", n, t, a, b, r, s }'
  sum_ours=$(awk -v x="$sum_ours" -v y="$ours_ms" 'BEGIN { print x + y }')
  sum_theirs=$(awk -v x="$sum_theirs" -v y="$theirs_ms" 'BEGIN { print x + y }')
  i=$((i + 1))
done < "$work/ours.txt"
awk -v a="$sum_ours" -v b="$sum_theirs" -v n="$i" \
  'BEGIN { printf "total over %d frames: ours %.1f ms, ffmpeg %.1f ms, ratio %.2f\n", n, a, b, (a > 0) ? b / a : 0 }'

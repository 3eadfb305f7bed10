#!/usr/bin/env bash
# Preview frames side by side with a plain libav loop, both in one process on the same libraries:
# 50 random positions of a 1920 x 1080 H.264 clip whose keyframes are 250 frames apart. Per
# position each side seeks back to the keyframe, decodes one picture and turns it into 32-bit
# B, G, R rows (what a preview does); the two alternate which goes first. Prints both times,
# ours/peer (at most 1 means we are as fast or faster) and whether the pictures match.
#   compare-decoder.sh [BUILD-DIR]
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

mapfile -t times < <(awk 'BEGIN { srand(2024); for (i = 0; i < 50; i++) printf "%.3f\n", rand() * 19.9 }')
"$bench" --compare "$clip" "${times[@]}"

#!/usr/bin/env bash
# One preview picture side by side with the ffmpeg tool, both whole processes on a 1920 x 1080
# H.264 clip whose keyframes are 250 frames (10 s) apart: at a keyframe, in the middle of an
# interval and just before the next keyframe. Ours opens the clip, seeks, decodes to the picture
# at T and writes its B, G, R, A bytes (bench_decoder --frames); the tool does
# `ffmpeg -ss T -i clip -frames:v 1` to raw BGRA. The two pictures are checked equal (colour
# bytes) before the two are timed in turn (../shared/bench/compare, or the copy named by
# COMPARE): median ratio ours/tool with its spread and each side's peak memory.
#   compare-decoder.sh [BUILD-DIR] [T...]        RUNS pairs (default 7)
set -euo pipefail
build=${1:-build}
shift || true
bench="$build/bench/bench_decoder"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-7}
[ -x "$bench" ] || { echo "compare-decoder: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-decoder: no compare script at $compare" >&2; exit 1; }
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
times=("$@")
[ ${#times[@]} -gt 0 ] || times=(10 15 19.96)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The colour bytes of two B, G, R, A files (ours leaves alpha as the bitmap keeps it).
same_colours() {
  python3 - "$1" "$2" <<'PY'
import sys
a, b = (open(f, "rb").read() for f in sys.argv[1:3])
if len(a) != len(b):
    sys.exit(f"sizes differ: {len(a)} and {len(b)} bytes")
for i, name in enumerate(("blue", "green", "red")):
    if a[i::4] != b[i::4]:
        sys.exit(f"the {name} bytes differ")
PY
}

echo "1920 x 1080 H.264, keyframes 10 s apart; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for t in "${times[@]}"; do
  ours="$bench --frames $clip $work $t"
  peer="ffmpeg -nostdin -v error -y -ss $t -i $clip -frames:v 1 -f rawvideo -pix_fmt bgra $work/peer.bgra"
  bash -c "$ours" >/dev/null && bash -c "$peer"
  if ! why=$(same_colours "$work/0.bgra" "$work/peer.bgra" 2>&1); then
    echo "== T = $t s: the pictures are not the same ($why); no ratio" >&2
    continue
  fi
  echo "== T = $t s: the same picture on both sides"
  "$compare" -n "$runs" -- "$ours" "$peer"
done

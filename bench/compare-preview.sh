#!/usr/bin/env bash
# One preview as a whole process against the ffmpeg tool doing the same: open a 30 s 1920 x 1080
# H.264 clip (x264's default key frame interval), seek, decode to the picture at T and write it
# as a BMP. T is a key frame, the middle of a key frame interval and the frame just before the
# next key frame. The two pictures are checked equal before the timing runs.
#   compare-preview.sh [BUILD-DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-7}
bench="$build/bench/bench_preview"
here=$(cd "$(dirname "$0")" && pwd)
# The shared side-by-side timer lives beside the repository (or beside a worktree's parent).
compare=${COMPARE:-}
if [ -z "$compare" ]; then
  for c in "$here/../../shared/bench/compare" "$here/../../../shared/bench/compare"; do
    [ -x "$c" ] && { compare=$c; break; }
  done
fi
[ -x "$bench" ] || { echo "compare-preview: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-preview: $compare is missing (set COMPARE)" >&2; exit 1; }
for tool in ffmpeg ffprobe; do
  command -v $tool >/dev/null || { echo "compare-preview: $tool is missing" >&2; exit 1; }
done

fixtures="$build/fixtures"
mkdir -p "$fixtures"
clip="$fixtures/preview-bench-1080p-30s.mp4"
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=30 \
    -c:v libx264 -pix_fmt yuv420p "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi

# Key frames' times, from the file itself.
mapfile -t keys < <(ffprobe -v error -select_streams v:0 -skip_frame nokey -show_entries frame=pts_time \
  -of csv=p=0 "$clip" | sort -n)
[ "${#keys[@]}" -ge 2 ] || { echo "compare-preview: fewer than two key frames in $clip" >&2; exit 1; }
# The key frame nearest 15 s that has a next one; the times are whole frames (25 per second).
k=0
for i in $(seq 0 $((${#keys[@]} - 2))); do
  if awk -v a="${keys[$i]}" -v b="${keys[$k]}" 'BEGIN { exit !((a-15)^2 < (b-15)^2) }'; then k=$i; fi
done
key=${keys[$k]} next=${keys[$((k + 1))]}
mid=$(awk -v a="$key" -v b="$next" 'BEGIN { printf "%.2f", int((a + b) / 2 * 25) / 25 }')
last=$(awk -v b="$next" 'BEGIN { printf "%.2f", (int(b * 25 + 0.5) - 1) / 25 }')

out=$(mktemp -d); trap 'rm -rf "$out"' EXIT
echo "clip $clip; key frames at $key and $next s"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for t in "$key" "$mid" "$last"; do
  echo "== T = $t s"
  ours="$bench $clip $t $out/ours.bmp"
  peer="ffmpeg -nostdin -v error -y -ss $t -i $clip -frames:v 1 $out/peer.bmp"
  bash -c "$ours" && bash -c "$peer"
  for side in ours peer; do
    ffmpeg -nostdin -v error -y -i "$out/$side.bmp" -f rawvideo -pix_fmt rgb24 "$out/$side.rgb"
  done
  cmp -s "$out/ours.rgb" "$out/peer.rgb" || { echo "compare-preview: the pictures at $t s differ" >&2; exit 1; }
  echo "pictures equal"
  "$compare" -n "$runs" -w 1 -- "$ours" "$peer"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"

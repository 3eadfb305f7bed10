#!/usr/bin/env bash
# The runs' transcoding side by side with the ffmpeg tool, on a 1920 x 1080 H.264 clip of 30
# seconds at 25 frames a second with a stereo AAC track, the same input and output options for
# both:
#   frames  the frame run's "every 50 frames" task (one JPEG per 50 frames over the whole clip)
#   audio   the audio run's task with a volume and a 300 % tempo chain, to MP3
#   clip    the clip run's task: a 10 s stretch to MPEG-4 AVI at half motion speed
# Prints both times per case, the ratio (ffmpeg time / ours; above 1 means we are faster) and
# what each wrote (images, or the output's duration in seconds).
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_transcode"
[ -x "$bench" ] || { echo "compare-transcode: $bench is not built" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-transcode: ffmpeg is missing" >&2; exit 1; }

fixtures="$build/fixtures"
mkdir -p "$fixtures"
clip="$fixtures/transcode-bench-1080p-av.mp4"
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=30 \
    -f lavfi -i sine=frequency=440:sample_rate=48000:duration=30 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=3

duration_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

# compare NAME INPUT-OPTIONS OUTPUT-NAME OUTPUT-OPTIONS
compare() {
  local name=$1 input_options=$2 output_name=$3 output_options=$4
  mkdir -p "$work/$name/ours" "$work/$name/ffmpeg"
  local best_ours="" best_theirs="" ours theirs t0 t1
  for _ in $(seq $runs); do
    ours=$("$bench" "$clip" "$input_options" "$work/$name/ours/$output_name" "$output_options")
    t0=$(date +%s%N)
    # shellcheck disable=SC2086
    ffmpeg -nostdin -v error $input_options -i "$clip" $output_options "$work/$name/ffmpeg/$output_name"
    t1=$(date +%s%N)
    theirs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
    best_ours=$(awk -v a="$best_ours" -v b="$ours" 'BEGIN { print (a == "" || b < a) ? b : a }')
    best_theirs=$(awk -v a="$best_theirs" -v b="$theirs" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  local wrote_ours wrote_theirs
  if [[ $output_name == *%d* ]]; then
    wrote_ours="$(find "$work/$name/ours" -type f | wc -l) images"
    wrote_theirs="$(find "$work/$name/ffmpeg" -type f | wc -l) images"
  else
    wrote_ours="$(duration_of "$work/$name/ours/$output_name") s"
    wrote_theirs="$(duration_of "$work/$name/ffmpeg/$output_name") s"
  fi
  printf '%-7s ours %9s ms (%s)   ffmpeg %9s ms (%s)   ratio (ffmpeg / ours): %s\n' "$name" "$best_ours" \
    "$wrote_ours" "$best_theirs" "$wrote_theirs" \
    "$(awk -v a="$best_theirs" -v b="$best_ours" 'BEGIN { printf "%.2f", a / b }')"
}

compare frames " -ss 00:00:00.000" "clip.mp4-%d.jpg" \
  " -y -q:v 0 -f image2 -t 00:00:30.000 -vsync vfr -vf select=not(mod(n\,50))"
compare audio " -ss 00:00:00.000" "clip.mp3" \
  " -y -t 00:00:10.000 -vn -q:a 0 -af volume=1.5,atempo=2,atempo=1.5"
compare clip " -ss 00:00:05.000" "clip.avi" \
  " -y -t 00:00:20.000 -c:v mpeg4 -q:v 0 -q:a 0 -vf trim=duration=10,setpts=2*PTS -af atrim=duration=10"

#!/usr/bin/env bash
# The runs side by side with the ffmpeg tool, both timed as whole processes from this script, on
# a 1920 x 1080 H.264 clip of 30 seconds at 25 frames a second with a stereo AAC track.
#   allframes   every frame of the clip to JPEG
#   every50     one JPEG per 50 frames
#   tile        every frame, laid out 3 x 2 per JPEG
#   express100  Express with 100 images: 100 one-picture tasks, 5 at a time
#   audio       a 10 s stretch to MP3 with a 150 % volume and a 300 % tempo
#   clip        the same stretch to AVI at half motion speed
# bench_run builds the run's option strings with the application's own builders; ours is then one
# bench_run process that loads the libraries and runs those tasks through the encoder component,
# 5 at a time as the window does; the tool gets the very same strings, one process per task, 5 at
# a time.
# Prints the best of $RUNS times per side, ours / ffmpeg (at most 1 means we are as fast or
# faster) and what each side wrote.
#   compare-transcode.sh [BUILD-DIR] [CASE...]
set -euo pipefail
set -f  # option texts such as setpts=2*PTS are not file patterns
build=${1:-build}
shift || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(allframes every50 tile express100 audio clip)
bench="$build/bench/bench_run"
[ -x "$bench" ] || { echo "compare-transcode: $bench is not built" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-transcode: ffmpeg is missing" >&2; exit 1; }
runs=${RUNS:-3}

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

now_ms() { date +%s%N | awk '{ printf "%.1f", $1 / 1e6 }'; }
min_of() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

# One tool process for a line "input options<TAB>output<TAB>output options" of bench_run --print.
tool_task() {
  local input output options
  IFS=$'\t' read -r input output options <<<"$1"
  set -f
  # shellcheck disable=SC2086
  ffmpeg -nostdin -v error $input -i "$2" $options "$output"
}
export -f tool_task

wrote() {
  local dir=$1 n
  n=$(find "$dir" -type f | wc -l)
  if [ "$n" -eq 1 ] && [[ $(find "$dir" -type f) != *.jpg ]]; then
    printf '%s s' "$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$(find "$dir" -type f)")"
  else
    printf '%s images' "$n"
  fi
}

printf '%-11s %10s %10s %12s   %s\n' case "ours ms" "ffmpeg ms" "ours/ffmpeg" "wrote (ours | ffmpeg)"
for name in "${cases[@]}"; do
  best_ours="" best_theirs=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/$name"
    mkdir -p "$work/$name/ours" "$work/$name/ffmpeg"
    "$bench" --print "$name" "$clip" "$work/$name/ours" >"$work/$name.ours"
    "$bench" --print "$name" "$clip" "$work/$name/ffmpeg" >"$work/$name.tasks"
    t0=$(now_ms)
    "$bench" --tasks "$work/$name.ours" "$clip" || { echo "compare-transcode: $name failed for ours" >&2; exit 1; }
    t1=$(now_ms)
    t2=$(now_ms)
    tr '\n' '\0' <"$work/$name.tasks" | xargs -0 -P 5 -I{} bash -c 'tool_task "$1" "$2"' _ {} "$clip"
    t3=$(now_ms)
    best_ours=$(min_of "$best_ours" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
    best_theirs=$(min_of "$best_theirs" "$(awk -v a="$t2" -v b="$t3" 'BEGIN { print b - a }')")
  done
  printf '%-11s %10.0f %10.0f %12.2f   %s | %s\n' "$name" "$best_ours" "$best_theirs" \
    "$(awk -v a="$best_ours" -v b="$best_theirs" 'BEGIN { print a / b }')" \
    "$(wrote "$work/$name/ours")" "$(wrote "$work/$name/ffmpeg")"
done

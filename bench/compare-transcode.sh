#!/usr/bin/env bash
# The runs side by side with the ffmpeg tool as whole processes, on a 1920 x 1080 H.264 clip of
# 30 seconds at 25 frames a second with a stereo AAC track.
#   allframes   every frame of the clip to JPEG
#   every50     one JPEG per 50 frames
#   tile        every frame, laid out 3 x 2 per JPEG
#   express100  Express with 100 images: 100 one-picture tasks, 5 at a time
#   audio       a 10 s stretch to MP3 with a 150 % volume and a 300 % tempo
#   clip        the same stretch to AVI at half motion speed
# bench_run builds the run's option strings with the application's own builders; ours is one
# bench_run process that runs those tasks through the encoder component, 5 at a time as the window
# does; the peer is a shell that gives the tool the very same strings, one process per task, 5 at a
# time. Both write the same files into a folder of their own, emptied before every run; the files
# are checked equal, byte for byte, before the two are timed in turn (../shared/bench/compare, or
# the copy named by COMPARE): median ratio with its spread and each side's peak memory.
#   compare-transcode.sh [BUILD-DIR] [CASE...]        RUNS pairs (default 7)
set -euo pipefail
build=${1:-build}
shift || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(allframes every50 tile express100 audio clip)
bench="$build/bench/bench_run"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
runs=${RUNS:-7}
[ -x "$bench" ] || { echo "compare-transcode: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-transcode: no compare script at $compare" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-transcode: ffmpeg is missing" >&2; exit 1; }
bench=$(realpath "$bench")

fixtures="$build/fixtures"
mkdir -p "$fixtures"
clip="$fixtures/transcode-bench-1080p-av.mp4"
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=30 \
    -f lavfi -i sine=frequency=440:sample_rate=48000:duration=30 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi
clip=$(realpath "$clip")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The peer: each line "input options<TAB>output<TAB>output options" of a task list is one tool
# process, five at a time.
cat >"$work/peer.sh" <<'PEER'
#!/usr/bin/env bash
set -f  # option texts such as setpts=2*PTS are not file patterns
task() {
  local input output options
  IFS=$'\t' read -r input output options <<<"$1"
  # shellcheck disable=SC2086
  ffmpeg -nostdin -v error $input -i "$2" $options "$output"
}
export -f task
tr '\n' '\0' <"$1" | xargs -0 -P 5 -I{} bash -c 'task "$1" "$2"' _ {} "$2"
PEER
chmod +x "$work/peer.sh"

# Every file one side wrote is in the other's folder with the same bytes.
same_outputs() {
  local a=$1 b=$2 f n=0
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] ||
    { echo "compare-transcode: the two sides wrote different file lists" >&2; return 1; }
  while IFS= read -r f; do
    cmp -s "$a/$f" "$b/$f" || { echo "compare-transcode: $f differs" >&2; return 1; }
    n=$((n + 1))
  done < <(cd "$a" && find . -type f | sort)
  [ "$n" -gt 0 ] || { echo "compare-transcode: nothing was written" >&2; return 1; }
  echo "$n"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in "${cases[@]}"; do
  ours="$work/$name/ours" peer="$work/$name/peer"
  mkdir -p "$ours" "$peer"
  "$bench" --print "$name" "$clip" "$ours" >"$work/$name.ours"
  "$bench" --print "$name" "$clip" "$peer" >"$work/$name.peer"
  setup="rm -rf '$ours' '$peer' && mkdir -p '$ours' '$peer'"
  our_run="'$bench' --tasks '$work/$name.ours' '$clip'"
  peer_run="'$work/peer.sh' '$work/$name.peer' '$clip'"
  bash -c "$setup && $our_run && $peer_run"
  n=$(same_outputs "$ours" "$peer")
  echo "== $name: $n files, equal on both sides"
  "$compare" -n "$runs" --setup "$setup" -- "$our_run" "$peer_run"
done

#!/usr/bin/env bash
# Our GIF, PCX and TGA codecs side by side with netpbm's tools on the same 4000 x 3000 photo:
# giftopnm, pcxtoppm and tgatoppm for reading (file in, PPM out on both sides) and pamtogif for
# writing GIF (the same PPM in). Each pair is timed as two whole processes, run in turn after a
# warm-up, by ../shared/bench/compare (median wall and CPU, peak memory, median ratio ours /
# theirs with its spread); below 1.0 means ours is faster. The outputs are checked equal first:
# the PPMs' sizes and samples, the two GIFs by their decoded pictures.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_codecs"
compare=${COMPARE:-$(dirname "$0")/../../shared/bench/compare}
[ -x "$bench" ] || { echo "compare-palette-codecs: $bench is not built" >&2; exit 1; }
[ -x "$compare" ] || { echo "compare-palette-codecs: $compare is missing (set COMPARE)" >&2; exit 1; }
for tool in convert pamtogif giftopnm ppmtopcx pcxtoppm pamtotga tgatoppm; do
  command -v $tool >/dev/null || { echo "compare-palette-codecs: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo-like picture: smooth areas, edges and noise.
convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 +noise Gaussian -depth 8 "$work/photo.ppm" 2>/dev/null ||
  convert -size 4000x3000 gradient:red-blue -swirl 200 +noise Gaussian -depth 8 "$work/photo.ppm"
# GIF holds at most 256 colours and pamtogif takes no more: both writers get the same reduced
# picture, so neither has a colour reduction of its own to do.
# (ImageMagick's reduction: pnmquant takes minutes on a picture this size.)
convert "$work/photo.ppm" +dither -colors 256 -depth 8 "$work/photo256.ppm"
pamtogif "$work/photo256.ppm" > "$work/photo.gif" 2>/dev/null
ppmtopcx -24bit "$work/photo.ppm" > "$work/photo.pcx" 2>/dev/null
pamtotga -rgb "$work/photo.ppm" > "$work/photo.tga" 2>/dev/null

same() {  # label, PPM, PPM: a ratio counts only for equal outputs
  # The headers may space their fields differently; the size is checked, then the samples.
  local pixels=$((4000 * 3000 * 3))
  [ "$(head -c 20 "$2" | tr -s ' \n' '  ' | cut -d' ' -f1-4)" = "$(head -c 20 "$3" | tr -s ' \n' '  ' | cut -d' ' -f1-4)" ] &&
    cmp -s <(tail -c "$pixels" "$2") <(tail -c "$pixels" "$3") ||
    { echo "compare-palette-codecs: $1: the outputs differ ($2, $3)" >&2; exit 1; }
}
"$bench" --gif-load "$work/photo.gif" "$work/ours-gif.ppm" >/dev/null
giftopnm "$work/photo.gif" > "$work/theirs-gif.ppm" 2>/dev/null
same "GIF decode" "$work/ours-gif.ppm" "$work/theirs-gif.ppm"
"$bench" --pcx-load "$work/photo.pcx" "$work/ours-pcx.ppm" >/dev/null
pcxtoppm "$work/photo.pcx" > "$work/theirs-pcx.ppm" 2>/dev/null
same "PCX decode" "$work/ours-pcx.ppm" "$work/theirs-pcx.ppm"
"$bench" --tga-load "$work/photo.tga" "$work/ours-tga.ppm" >/dev/null
tgatoppm "$work/photo.tga" > "$work/theirs-tga.ppm" 2>/dev/null
same "TGA decode" "$work/ours-tga.ppm" "$work/theirs-tga.ppm"
"$bench" --gif-save "$work/photo256.ppm" "$work/ours.gif" >/dev/null
pamtogif "$work/photo256.ppm" > "$work/theirs.gif" 2>/dev/null
giftopnm "$work/ours.gif" > "$work/ours-back.ppm" 2>/dev/null
giftopnm "$work/theirs.gif" > "$work/theirs-back.ppm" 2>/dev/null
same "GIF encode" "$work/ours-back.ppm" "$work/theirs-back.ppm"
same "GIF encode (the input)" "$work/ours-back.ppm" "$work/photo256.ppm"

runs=${REPS:-9}
row() {  # label, our command, their command
  echo "$1"
  "$compare" -n "$runs" -w 1 -- "$2" "$3" | sed 's/^/  /'
}
echo "4000 x 3000 photo, file in and file out; load average $(cut -d' ' -f1-3 /proc/loadavg)"
row "GIF decode (ours / giftopnm)" "$bench --gif-load $work/photo.gif $work/o.ppm" "giftopnm $work/photo.gif > $work/t.ppm"
row "PCX decode (ours / pcxtoppm)" "$bench --pcx-load $work/photo.pcx $work/o.ppm" "pcxtoppm $work/photo.pcx > $work/t.ppm"
row "TGA decode (ours / tgatoppm)" "$bench --tga-load $work/photo.tga $work/o.ppm" "tgatoppm $work/photo.tga > $work/t.ppm"
row "GIF encode (ours / pamtogif)" "$bench --gif-save $work/photo256.ppm $work/o.gif" "pamtogif $work/photo256.ppm > $work/t.gif"
ls -l "$work"/ours.gif "$work"/theirs.gif | awk '{ print "  " $5 " bytes  " $9 }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

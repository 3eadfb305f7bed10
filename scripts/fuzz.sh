#!/usr/bin/env bash
# Runs every fuzzing target of a CLAVORNE_FUZZ build for a while and prints one line a target:
# executions, coverage reached (edges), time and findings.
#   fuzz.sh BUILD-DIR [SECONDS-PER-TARGET] [TARGET...]
# Each target starts from seeds made here by ImageMagick and netpbm (small pictures of every
# kind its format holds) plus the reproducers kept in tests/fuzz/regressions/<target>/, with the
# dictionary tests/fuzz/dict/<target>.dict when there is one. Findings are written to
# $FUZZ_OUT (default fuzz-findings/) as <target>-crash-..., -leak-..., -timeout-..., -oom-...
set -uo pipefail
build=${1:?build directory of a CLAVORNE_FUZZ tree}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_OUT:-fuzz-findings}
jobs=${JOBS:-$(nproc)}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/tests/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t" | sed 's/^fuzz_//')"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets in $build/tests/fuzz" >&2; exit 1; }

# Seeds: a few small pictures per format, in the kinds the readers take apart differently.
seed() {  # target, file name, command writing {out}
  local dir="$work/corpus/$1"
  mkdir -p "$dir"
  bash -c "${3//\{out\}/$dir/$2}" >/dev/null 2>&1 || echo "fuzz: seed $1/$2 could not be made" >&2
}
make_seeds() {
  local t=$1 src="$work/src.ppm" grey="$work/src.pgm" bw="$work/src.pbm" alpha="$work/src.png"
  [ -f "$src" ] || {
    convert -size 23x17 plasma:fractal -seed 3 -depth 8 "$src"
    convert "$src" -colorspace Gray "$grey"
    convert "$src" -monochrome "$bw"
    convert "$src" \( -size 23x17 gradient: \) -alpha off -compose CopyOpacity -composite "$alpha"
  } 2>/dev/null
  case $t in
    jpeg) seed $t a.jpg "convert $src -quality 80 {out}"; seed $t p.jpg "convert $src -interlace Plane {out}"
          seed $t g.jpg "convert $grey {out}"; seed $t c.jpg "convert $src -colorspace CMYK {out}" ;;
    png)  seed $t a.png "convert $src {out}"; seed $t i.png "convert $alpha -interlace PNG {out}"
          seed $t p.png "convert $src -colors 16 PNG8:{out}"; seed $t g.png "convert $grey -depth 16 {out}" ;;
    bmp)  seed $t a.bmp "convert $src {out}"; seed $t p.bmp "convert $src -colors 16 -compress RLE BMP3:{out}"
          seed $t m.bmp "convert $bw BMP3:{out}"; seed $t t.bmp "convert $alpha BMP:{out}" ;;
    pnm)  seed $t a.ppm "cp $src {out}"; seed $t g.pgm "cp $grey {out}"; seed $t b.pbm "cp $bw {out}"
          seed $t p.ppm "pnmtoplainpnm $src > {out}"; seed $t w.pgm "convert $grey -depth 16 {out}" ;;
    gif)  seed $t a.gif "convert $src -colors 64 {out}"; seed $t i.gif "convert $src -colors 4 -interlace GIF {out}"
          seed $t n.gif "convert -delay 10 $src -colors 8 \\( $src -flip -colors 8 \\) -dispose Previous -loop 0 {out}"
          seed $t t.gif "convert $alpha -colors 32 {out}" ;;
    pcx)  seed $t a.pcx "ppmtopcx -24bit $src > {out}"; seed $t p.pcx "ppmtopcx -8bit $src > {out}"
          seed $t m.pcx "pbmtopcx $bw 2>/dev/null > {out} || convert $bw PCX:{out}" ;;
    dcx)  seed $t a.dcx "convert $src \\( $src -flip \\) DCX:{out}" ;;
    tga)  seed $t a.tga "pamtotga -rgb $src > {out}"; seed $t c.tga "convert $src -colors 16 -compress RLE TGA:{out}"
          seed $t t.tga "convert $alpha TGA:{out}" ;;
    ico)  seed $t a.ico "convert $alpha -resize 16x16! ICO:{out}"; seed $t p.ico "convert $src -resize 32x32! -colors 16 ICO:{out}" ;;
    cur)  seed $t a.cur "convert $alpha -resize 16x16! ICO:{out} && printf '\\002' | dd of={out} bs=1 seek=2 conv=notrunc" ;;
    wbmp) seed $t a.wbmp "convert $bw WBMP:{out}" ;;
    dicom) seed $t g.dcm "img2dcm -i PNM $grey {out}"; seed $t c.dcm "img2dcm -i PNM $src {out}"
           seed $t l.dcm "img2dcm -i PNM $grey $work/l0.dcm && dcmcjpeg +el +sv 3 $work/l0.dcm {out}"
           seed $t r.dcm "img2dcm -i PNM $src $work/r0.dcm && dcmcrle $work/r0.dcm {out}"
           seed $t b.dcm "img2dcm -i PNM $grey $work/b0.dcm && dcmconv +tb $work/b0.dcm {out}" ;;
    detect) for f in jpeg png bmp pnm gif pcx tga ico wbmp; do make_seeds $f; done
            cp "$work"/corpus/{jpeg,png,bmp,pnm,gif,pcx,tga,ico}/* "$work/corpus/detect/" 2>/dev/null || true ;;
    *)    mkdir -p "$work/corpus/$t" ;;
  esac
}

run_one() {
  local t=$1 bin="$build/tests/fuzz/fuzz_$1" log="$work/$1.log" dict=()
  [ -f "$here/tests/fuzz/dict/$t.dict" ] && dict=(-dict="$here/tests/fuzz/dict/$t.dict")
  local corpora=("$work/corpus/$t")
  [ -d "$here/tests/fuzz/regressions/$t" ] && corpora+=("$here/tests/fuzz/regressions/$t")
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -malloc_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/$t-" "${dict[@]}" "${corpora[@]}" >"$log" 2>&1
  local rc=$?
  local execs cov
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  local found
  found=$(ls "$out" 2>/dev/null | grep -c "^$t-" || true)
  printf '%-8s executions %10s  edges %6s  seconds %4s  findings %s%s\n' "$t" "${execs:-?}" "${cov:-?}" "$seconds" \
    "$found" "$([ $rc -ne 0 ] && echo "  (stopped: see $out/$t.log)")"
  [ $rc -ne 0 ] && cp "$log" "$out/$t.log"
  return 0
}

for t in "${targets[@]}"; do make_seeds "$t"; done
export -f run_one
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait
# A finding fails the run.
[ -z "$(ls "$out" 2>/dev/null | grep -v '\.log$')" ]

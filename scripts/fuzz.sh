#!/usr/bin/env bash
# Runs every fuzzing target of a CLAVORNE_FUZZ build for a while and prints one line a target:
# executions, coverage reached (edges), time and findings.
#   fuzz.sh BUILD-DIR [SECONDS-PER-TARGET] [TARGET...]
# Each target starts from seeds made here by ImageMagick and netpbm (small pictures of every
# kind its format holds) plus the reproducers kept in tests/fuzz/regressions/<target>/, with the
# dictionary tests/fuzz/dict/<target>.dict when there is one. Findings are written to
# $FUZZ_OUT (default fuzz-findings/) as <target>-crash-..., -leak-..., -timeout-..., -oom-...
# With FUZZ_RUNS=N a target makes N inputs from a fixed random seed instead of running for a
# time; FUZZ_RUNS=0 only replays the seeds and the reproducers (`make fuzz-replay`, which CI runs).
# The run fails on a finding of its own (files left in $FUZZ_OUT by earlier runs do not count)
# and on a target that did not run. Every fuzzer has ended before the seeds' folder is removed,
# also when the script itself is stopped.
set -uo pipefail
build=${1:?build directory of a CLAVORNE_FUZZ tree}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_OUT:-fuzz-findings}
jobs=${JOBS:-$(nproc)}
mkdir -p "$out"
work=$(mktemp -d)
# On any exit, the fuzzers still running are stopped and waited for before their folder goes.
stop_running() {
  local pid
  for pid in "${!running[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${!running[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
declare -A running=() began=()
findings=0
failed=()
trap stop_running EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

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
    convert -seed 3 -size 23x17 plasma:fractal -depth 8 "$src"
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
    dicom) seed $t g.dcm "convert $grey BMP3:$work/g.bmp && img2dcm -i BMP $work/g.bmp {out}"
           seed $t c.dcm "convert $src BMP3:$work/c.bmp && img2dcm -i BMP $work/c.bmp {out}"
           seed $t l.dcm "convert $grey BMP3:$work/l.bmp && img2dcm -i BMP $work/l.bmp $work/l0.dcm && dcmcjpeg +el +sv 3 $work/l0.dcm {out}"
           seed $t r.dcm "convert $src BMP3:$work/r.bmp && img2dcm -i BMP $work/r.bmp $work/r0.dcm && dcmcrle $work/r0.dcm {out}"
           seed $t b.dcm "convert $grey BMP3:$work/b.bmp && img2dcm -i BMP $work/b.bmp $work/b0.dcm && dcmconv +tb $work/b0.dcm {out}" ;;
    exif) seed $t t.exif "{ printf 'Exif\\0\\0'; convert $src -resize 8x6! -compress None TIFF:-; } > {out}"
          seed $t m.exif "{ printf 'Exif\\0\\0'; convert $src -resize 4x3! -endian MSB -compress None TIFF:-; } > {out}" ;;
    iptc) iptc_seeds "$work/corpus/$t" ;;
    xmp)  seed $t a.xmp "printf 'http://ns.adobe.com/xap/1.0/\\0<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta><?xpacket end=\"w\"?>' > {out}" ;;
    icc)  for f in /usr/share/color/icc/ghostscript/{srgb,gray_to_k,a98}.icc; do seed $t "$(basename "$f")" "cp $f {out}"; done ;;
    annotdib) seed $t a.dib "convert $src -resize 5x3! BMP3:- | tail -c +15 > {out}"
              seed $t m.dib "convert $bw -resize 9x4! BMP3:- | tail -c +15 > {out}" ;;
    annot) annot_seeds "$work/corpus/$t" "$work/dib" ;;
    rawrecord) mkdir -p "$work/corpus/$t"; cp "$here"/tests/imaging/formats/record/*.ierec "$work/corpus/$t/" ;;
    options) mkdir -p "$work/corpus/$t"
             printf -- '-vcodec libx264 -b:v 1000k -r 25 -s 640x480' > "$work/corpus/$t/a"
             printf -- '-ss 0x1F -t 12.5 -metadata "title=a \\"b\\" c" -crf $7 -qscale:v -3e2' > "$work/corpus/$t/b" ;;
    tiff) seed $t n.tif "convert $src -compress None TIFF:{out}"
          seed $t l.tif "convert $src -compress None TIFF:$work/t0.tif && tiffcp -c lzw:2 -r 4 $work/t0.tif {out}"
          seed $t z.tif "convert $src -compress None TIFF:$work/t1.tif && tiffcp -t -w 16 -l 16 -c zip $work/t1.tif {out}"
          seed $t g.tif "convert $bw -compress None TIFF:$work/t2.tif && tiffcp -c g4 $work/t2.tif {out}"
          seed $t f.tif "convert $bw -compress None TIFF:$work/t3.tif && tiffcp -c g3:2d $work/t3.tif {out}"
          seed $t a.tif "convert $alpha -depth 16 -compress RLE TIFF:{out}" ;;
    psd)  seed $t a.psd "convert $src -compress RLE PSD:{out}"; seed $t g.psd "convert $grey -compress None PSD:{out}"
          seed $t l.psd "convert $alpha \( $src -flip \) PSD:{out}" ;;
    jp2)  seed $t a.jp2 "opj_compress -i $src -o {out}.jp2 -n 3 >/dev/null && mv {out}.jp2 {out}"
          seed $t t.jp2 "opj_compress -i $src -o {out}.jp2 -t 8,8 -n 2 -r 20 >/dev/null && mv {out}.jp2 {out}" ;;
    j2k)  seed $t a.j2k "opj_compress -i $grey -o {out}.j2k -n 2 >/dev/null && mv {out}.j2k {out}" ;;
    raw)  mkdir -p "$work/corpus/$t"; cp "$here"/tests/imaging/formats/raw/*.{nef,raw,orf,crw,x3f} "$work/corpus/$t/" ;;
    avi)  mkdir -p "$work/corpus/$t"; cp "$here"/tests/imaging/formats/avi/*.avi "$work/corpus/$t/" ;;
    wmf)  mkdir -p "$work/corpus/$t"; cp "$here"/tests/imaging/formats/metafile/*.wmf "$work/corpus/$t/" ;;
    emf)  mkdir -p "$work/corpus/$t"; cp "$here"/tests/imaging/formats/metafile/*.emf "$work/corpus/$t/" ;;
    decoder) media_seeds "$work/corpus/$t" ;;
    detect) for f in jpeg png bmp pnm gif pcx tga ico wbmp dicom tiff psd jp2; do make_seeds $f; done
            mkdir -p "$work/corpus/detect"
            cp "$work"/corpus/{jpeg,png,bmp,pnm,gif,pcx,tga,ico,wbmp,dicom,tiff,psd,jp2}/* "$work/corpus/detect/" 2>/dev/null || true ;;
    *)    mkdir -p "$work/corpus/$t" ;;
  esac
}

# Media files of a few frames (a picture of 32 x 24, a little sound) in the containers users
# open, so the decoder's target starts from files FFmpeg takes apart to the first picture.
media_seeds() {
  local v="-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.3" a="-f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.3"
  local ff="ffmpeg -nostdin -v error -y"
  mkdir -p "$1"
  seed decoder a.mp4 "$ff $v $a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 16k -shortest {out}"
  seed decoder b.mkv "$ff $v $a -c:v mpeg4 -q:v 10 -c:a pcm_s16le -metadata title=t -f matroska {out}"
  seed decoder c.webm "$ff $v -c:v libvpx -b:v 50k {out}"
  seed decoder d.avi "$ff $v $a -c:v mjpeg -q:v 20 -c:a pcm_u8 {out}"
  seed decoder e.avi "$ff $v -c:v mpeg4 -q:v 10 {out}"
  seed decoder f.wav "$ff $a -c:a pcm_s16le {out}"
  seed decoder g.mov "$ff $v -c:v png -f mov {out}"
  seed decoder h.ts "$ff $v -c:v mpeg2video -q:v 10 -f mpegts {out}"
}
# IPTC items, bare and inside a Photoshop image-resource block.
iptc_seeds() {
  mkdir -p "$1"
  local items='\034\002\000\000\002\000\004\034\002\170\000\005hello\034\002\031\000\003key'
  printf "$items" > "$1/bare.iptc"
  printf "Photoshop 3.0\0008BIM\004\004\000\000\000\000\000\037$items\000" > "$1/ps.iptc"
}
# Annotation blocks: a freehand line, a text note and an image mark holding a small DIB.
annot_seeds() {
  mkdir -p "$1"
  convert "$work/src.ppm" -resize 4x3! BMP3:- 2>/dev/null | tail -c +15 > "$2"
  python3 - "$1/a.annot" "$2" <<'EOF'
import struct, sys
def named(kind, name, data):
    return struct.pack('<i', kind) + struct.pack('<i', 12) + name.ljust(8, b'\0') + struct.pack('<i', len(data)) + data
def mark(kind):
    return struct.pack('<ii', 5, 164) + struct.pack('<i', kind) + bytes(160)
dib = open(sys.argv[2], 'rb').read()
out = struct.pack('<ii', 0, 1) + named(2, b'OiGroup', b'0\0') + named(2, b'OiIndex', b'1\0')
out += mark(3) + named(6, b'OiAnoDat', struct.pack('<ii', 0, 2) + struct.pack('<iiii', 1, 2, 30, 40))
out += mark(7) + named(6, b'OiAnText', struct.pack('<iiii', 0, 0, 1000, 4) + b'note\0')
out += mark(1) + named(6, b'OiFilNam', b'a.bmp\0') + named(6, b'OiDIB', dib)
open(sys.argv[1], 'wb').write(out)
EOF
}

# Starts one target in the background; its pid goes into $started.
start_one() {
  local t=$1 bin="$build/tests/fuzz/fuzz_$1" dict=()
  started=
  [ -x "$bin" ] || { echo "fuzz: $bin is missing" > "$work/$t.log"; return 1; }
  [ -f "$here/tests/fuzz/dict/$t.dict" ] && dict=(-dict="$here/tests/fuzz/dict/$t.dict")
  local corpora=("$work/corpus/$t")
  [ -d "$here/tests/fuzz/regressions/$t" ] && corpora+=("$here/tests/fuzz/regressions/$t")
  mkdir -p "$work/found/$t"
  # A target whose code calls libraries built without the sanitizers may keep their reports out.
  local asan_supp="" length=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && length=(-runs="$FUZZ_RUNS" -seed=1)
  [ -f "$here/tests/fuzz/$t.asan.supp" ] && asan_supp=":suppressions=$here/tests/fuzz/$t.asan.supp"
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1$asan_supp UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0" \
    "$bin" "${length[@]}" -timeout=10 -rss_limit_mb=2560 -malloc_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/found/$t/$t-" "${dict[@]}" "${corpora[@]}" \
    >"$work/$t.log" 2>&1 &
  started=$!
  began[$started]=$SECONDS
}

# Prints a target's line once it has ended. Its findings are the files its own run wrote, moved
# to $out; older files there belong to earlier runs and are not counted. A target that ended
# without its final statistics and without a finding did not run: that fails the run too.
report_one() {
  local t=$1 rc=$2 took=${3:-0} log="$work/$1.log" execs cov found=0 note=""
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" 2>/dev/null | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" 2>/dev/null | tail -1 | grep -o '[0-9]*')
  if [ -d "$work/found/$t" ]; then
    found=$(find "$work/found/$t" -type f | wc -l)
    [ "$found" -gt 0 ] && mv "$work/found/$t"/* "$out/"
  fi
  findings=$((findings + found))
  if [ "$found" -eq 0 ] && { [ "$rc" -ne 0 ] || [ -z "$execs" ]; }; then
    failed+=("$t"); note="  (did not run: see $out/$t.log)"
  elif [ "$rc" -ne 0 ]; then
    note="  (stopped: see $out/$t.log)"
  fi
  [ -n "$note" ] && cp "$log" "$out/$t.log" 2>/dev/null
  printf '%-8s executions %10s  edges %6s  seconds %4s  findings %s%s\n' "$t" "${execs:-?}" "${cov:-?}" "$took" \
    "$found" "$note"
}

# Waits for the next of the running targets to end and reports it.
reap_one() {
  local pid rc
  wait -n -p pid "${!running[@]}"
  rc=$?
  [ -n "${pid:-}" ] || return 1
  report_one "${running[$pid]}" "$rc" $((SECONDS - began[$pid]))
  unset "running[$pid]" "began[$pid]"
}

for t in "${targets[@]}"; do make_seeds "$t"; done
for t in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$jobs" ]; do reap_one || break; done
  if start_one "$t"; then
    running[$started]=$t
  else
    report_one "$t" 1
  fi
done
while [ ${#running[@]} -gt 0 ]; do reap_one || break; done
[ ${#failed[@]} -eq 0 ] || echo "fuzz: did not run: ${failed[*]}" >&2
[ "$findings" -eq 0 ] && [ ${#failed[@]} -eq 0 ] && [ ${#running[@]} -eq 0 ]

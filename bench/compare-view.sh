#!/usr/bin/env bash
# The image view drawing a 4000 x 3000 24-bit image into a 1000 x 750 client, side by side with
# ImageMagick doing the same scaling on one thread: at the fitting zoom (25 %) with each zoom
# filter against the closest ImageMagick filter, and at 100 % scrolled against a crop of the same
# 1000 x 750 part. Our times are one redraw of the view (back buffer and copy to the control);
# ImageMagick's come from its own -bench (the best pass with the operation less the best pass
# that only reads). Ratios above 1 mean we are faster.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_view"
[ -x "$bench" ] || { echo "compare-view: $bench is not built" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-view: ImageMagick's convert is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"
"$bench" --benchmark_format=json --benchmark_out="$work/ours.json" >/dev/null

MAGICK_THREAD_LIMIT=1 python3 - "$work" <<'PY'
import json, re, subprocess, sys

work = sys.argv[1]
src = f"{work}/in.ppm"

ours = {b["label"]: b["real_time"] for b in json.load(open(f"{work}/ours.json"))["benchmarks"]}

peers = {
    "fit None": ["-sample", "1000x750!"],
    "fit FastLinear": ["-filter", "Triangle", "-resize", "1000x750!"],
    "fit Triangle": ["-filter", "Triangle", "-resize", "1000x750!"],
    "fit Bicubic": ["-filter", "Catrom", "-resize", "1000x750!"],
    "fit Lanczos3": ["-filter", "Lanczos", "-resize", "1000x750!"],
    "100% scrolled": ["-crop", "1000x750+1500+1100", "+repage"],
}

def magick_pass(opts):  # milliseconds of one read-and-operate pass, the best of five
    r = subprocess.run(["convert", src, "-bench", "5"] + opts + ["null:"], check=True,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    ips = [float(x) for x in re.findall(r"([0-9.]+)ips", r.stdout)]
    return 1000 / max(ips)

magick_io = magick_pass([])
print("4000 x 3000 image in a 1000 x 750 view, 24-bit, one thread; milliseconds per redraw")
print(f"{'case':<15} {'ours':>8} {'IM':>8}  {'IM/ours':>8}")
for name, opts in peers.items():
    if name not in ours:
        print(f"{name:<15} missing from {sys.argv[1]}/ours.json")
        continue
    magick = max(magick_pass(opts) - magick_io, 0.1)
    o = ours[name]
    print(f"{name:<15} {o:8.2f} {magick:8.2f}  {magick / o:8.2f}")
PY

#!/usr/bin/env bash
# 4000 x 3000 -> 1000 x 750 with each filter, one thread, side by side with ImageMagick, Pillow
# and libvips on the closest filter each has. Only the scaling is timed: our time and Pillow's
# are measured around the call; ImageMagick's come from its own -bench (the best pass with the
# resize less the best pass that only reads); vips' are the best run with the resize less the
# best run of a plain copy. Ratios above 1 mean we are faster.
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_resample"
[ -x "$bench" ] || { echo "compare-resample: $bench is not built" >&2; exit 1; }
command -v convert >/dev/null || { echo "compare-resample: ImageMagick's convert is missing" >&2; exit 1; }
# Debian's Pillow belongs to the system's python, which another python on the path may hide.
py=python3
"$py" -c 'import PIL' 2>/dev/null || py=/usr/bin/python3
"$py" -c 'import PIL' 2>/dev/null || { echo "compare-resample: Pillow (python3-pil) is missing" >&2; exit 1; }
command -v vips >/dev/null || { echo "compare-resample: vips (libvips-tools) is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 gradient:red-blue -swirl 200 -depth 8 "$work/in.ppm"
"$bench" --benchmark_format=json --benchmark_out="$work/ours.json" >/dev/null

MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 "$py" - "$work" <<'PY'
import json, re, subprocess, sys, time
from PIL import Image

work = sys.argv[1]
src, out = f"{work}/in.ppm", f"{work}/out.ppm"

def best(cmd, runs=5):
    t = []
    for _ in range(runs):
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        t.append(time.perf_counter() - t0)
    return min(t) * 1000

ours = {}
for b in json.load(open(f"{work}/ours.json"))["benchmarks"]:
    ours[b["label"]] = b["real_time"]

# ours: (ImageMagick resize options, Pillow filter, vips kernel)
peers = {
    "None": (["-sample", "1000x750!"], Image.NEAREST, "nearest"),
    "Triangle": (["-filter", "Triangle", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "Hermite": (["-filter", "Hermite", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "Bell": (["-filter", "Quadratic", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "BSpline": (["-filter", "Spline", "-resize", "1000x750!"], Image.BICUBIC, "cubic"),
    "Lanczos3": (["-filter", "Lanczos", "-resize", "1000x750!"], Image.LANCZOS, "lanczos3"),
    "Mitchell": (["-filter", "Mitchell", "-resize", "1000x750!"], Image.BICUBIC, "mitchell"),
    "Nearest": (["-filter", "Box", "-resize", "1000x750!"], Image.BOX, "nearest"),
    "Linear": (["-filter", "Triangle", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "FastLinear": (["-filter", "Triangle", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "Bilinear": (["-filter", "Triangle", "-resize", "1000x750!"], Image.BILINEAR, "linear"),
    "Bicubic": (["-filter", "Catrom", "-resize", "1000x750!"], Image.BICUBIC, "cubic"),
    "ProjectBW": (["-filter", "Box", "-resize", "1000x750!"], Image.BOX, "nearest"),
    "ProjectWB": (["-filter", "Box", "-resize", "1000x750!"], Image.BOX, "nearest"),
}

def magick_pass(opts):  # milliseconds of one read-and-operate pass, the best of five
    r = subprocess.run(["convert", src, "-bench", "5"] + opts + ["null:"], check=True,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    ips = [float(x) for x in re.findall(r"([0-9.]+)ips", r.stdout)]
    return 1000 / max(ips)

magick_io = magick_pass([])
vips_io = best(["vips", "copy", src, out])
im = Image.open(src)
im.load()
print("4000 x 3000 -> 1000 x 750, 24-bit, one thread; milliseconds of scaling")
print(f"{'filter':<11} {'ours':>8} {'IM':>8} {'Pillow':>8} {'vips':>8}  {'IM/ours':>8} {'Pil/ours':>8} {'vips/ours':>9}")
for name, (im_opts, pil_filter, kernel) in peers.items():
    magick = max(magick_pass(im_opts) - magick_io, 0.1)
    pil = []
    for _ in range(3):
        t0 = time.perf_counter()
        im.resize((1000, 750), pil_filter, reducing_gap=None)
        pil.append(time.perf_counter() - t0)
    pil = min(pil) * 1000
    vips = max(best(["vips", "resize", src, out, "0.25", "--kernel", kernel]) - vips_io, 0.1)
    o = ours[name]
    print(f"{name:<11} {o:8.1f} {magick:8.1f} {pil:8.1f} {vips:8.1f}  {magick / o:8.2f} {pil / o:8.2f} {vips / o:9.2f}")
PY

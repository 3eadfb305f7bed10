#!/usr/bin/env python3
"""A program that only loads and saves images starts without the GUI libraries.

Checks that image_rewrite (the imaging library's file-format registry and nothing else) names
no Qt library in its dynamic section, and that it works: 16 x 16 pictures made by ImageMagick
are read and written again as PNG, TIFF and JPEG, and ImageMagick reads back the same pixels
(JPEG within its loss).

Usage: check_image_rewrite.py IMAGE_REWRITE WORK_DIR
"""
import os
import subprocess
import sys


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def rms_error(a, b):
    """Root-mean-square difference of the two pictures, 0 (equal) to 1."""
    # compare answers 1 when the pictures differ; its figure goes to stderr either way.
    done = subprocess.run(["compare", "-metric", "RMSE", a, b, "null:"], capture_output=True, text=True)
    return float(done.stderr.split("(")[1].split(")")[0])


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)

    needed = [line for line in run("readelf", "-d", tool).splitlines() if "(NEEDED)" in line]
    qt = [line.split("[")[-1].rstrip("]") for line in needed if "libQt" in line]
    if qt:
        sys.exit("image_rewrite links GUI libraries it does not use: " + ", ".join(qt))

    source = os.path.join(work, "source.ppm")
    run("convert", "-size", "16x16", "gradient:red-blue", "-fill", "yellow", "-draw", "rectangle 3,3 9,7",
        "-depth", "8", source)
    failures = []
    for ext, lossy in (("png", False), ("tif", False), ("jpg", True)):
        given = os.path.join(work, "given." + ext)
        ours = os.path.join(work, "ours." + ext)
        run("convert", source, given)
        if os.path.exists(ours):
            os.remove(ours)
        done = subprocess.run([tool, given, ours], capture_output=True, text=True)
        if done.returncode != 0:
            failures.append("%s: image_rewrite failed: %s" % (ext, done.stderr.strip()))
            continue
        size = run("identify", "-format", "%wx%h", ours)
        # A JPEG written again is coded again, at quality 80 with its colour at half resolution:
        # the sharp colour edges of so small a picture move; swapped or lost channels move far more.
        error = rms_error(given, ours)
        if size != "16x16" or error > (0.12 if lossy else 0):
            failures.append("%s: read back as %s, %g off" % (ext, size, error))
    if failures:
        sys.exit("\n".join(failures))


if __name__ == "__main__":
    main()

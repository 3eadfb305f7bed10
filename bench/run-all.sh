#!/usr/bin/env bash
# Runs every side-by-side script next to this file (each makes its own fixture first), then the
# benchmark programs of the build, whose fixtures the scripts have made by then.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
for s in "$here"/compare-*.sh; do
  [ -f "$s" ] && bash "$s" "$build"
done
export CLAVORNE_DECODER_BENCH_FILE=${CLAVORNE_DECODER_BENCH_FILE:-$build/fixtures/decoder-bench-1080p.mp4}
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
exit 0

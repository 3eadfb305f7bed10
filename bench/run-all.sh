#!/usr/bin/env bash
# Runs every benchmark program of the build and every side-by-side script next to this file.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
for s in "$here"/compare-*.sh; do
  [ -f "$s" ] && bash "$s" "$build"
done
exit 0

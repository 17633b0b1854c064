#!/usr/bin/env bash
# Runs the benchmarks: frame rates on a private Xvfb, the mesh load, the page against the program.
# usage: bench/run_all.sh [build dir]   (default ./build; build it first with the
# benchmarks on: cmake -S . -B build && cmake --build build -j2; the page's comes
# from build-web/, which tools/web.sh build makes, and is left out without it)
# Reports, never gates: exits 0 unless a benchmark failed to run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-$(dirname "$here")/build}" && pwd)

[ -x "$build/bench/load_bench" ] || {
  echo "run_all.sh: $build/bench/load_bench is not built (is DICE_BENCH off?)" >&2
  exit 1
}

echo "== frame rate =="
"$here/frame_rate.sh" "$build"
echo
echo "== mesh load =="
"$build/bench/load_bench" --benchmark_repetitions=3
echo
echo "== the web page against the program =="
if [ -f "$(dirname "$here")/build-web/dice.html" ]; then
  "$here/page_rate.sh" "$build"
else
  echo "left out: no page in build-web/ (tools/web.sh build makes it)"
fi

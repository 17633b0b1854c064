#!/usr/bin/env bash
# Runs the benchmarks: frame rates on a private Xvfb, the mesh load, frame rates at rest with a
# viewed model on the desktop and the page, the page against the program.
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
if [ -f "$(dirname "$here")/build-web/dice.html" ]; then
  echo "== at rest: the die, a 30,000-face model viewed and drawn as the die =="
  "$here/page_rate.sh" --at-rest "$build"
  echo
  echo "== the web page against the program =="
  "$here/page_rate.sh" "$build"
else
  echo "== at rest, and the web page against the program =="
  echo "left out: no page in build-web/ (tools/web.sh build makes it)"
fi

#!/usr/bin/env bash
# Measures the frame rates of the bare loop, the die and the full-capacity mesh in
# one run on one private Xvfb (Mesa software rendering), and prints their ratios.
# usage: bench/frame_rate.sh [build dir] [frame_rate.py options]
# The build dir defaults to ./build; it must hold dice, bench/bare_loop and
# tools/make_assets. Reports, never gates: exits 0 unless a program failed to run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
[ $# -ge 1 ] && shift
build=$(cd "$build" && pwd)

for program in "$build/dice" "$build/bench/bare_loop" "$build/tools/make_assets"; do
  [ -x "$program" ] || { echo "frame_rate.sh: $program is not built" >&2; exit 1; }
done

exec "$root/tests/window/with_xvfb.sh" python3 "$here/frame_rate.py" \
  --bare-loop "$build/bench/bare_loop" --dice "$build/dice" \
  --make-assets "$build/tools/make_assets" --die-mesh "$root/assets/cube.3ds" "$@"

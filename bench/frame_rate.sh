#!/usr/bin/env bash
# Measures the frame rates of the bare loop, the die, the die rolled (one and six
# dice) and the full-capacity mesh in one run on one private Xvfb (Mesa software
# rendering), and prints their ratios, with the minor page faults per frame of the
# die and the mesh beside them.
# The die and the mesh run twice a round: the program as built, and a copy of it
# built here with glibc's malloc left at its defaults (DICE_GLIBC_MALLOC_DEFAULTS),
# so the run also shows what the program's start-up malloc settings buy. Faults
# per frame are the verdict on those settings; rates swing with the machine's
# load (each round prints the load average), so run it on a quiet machine.
# usage: bench/frame_rate.sh [build dir] [frame_rate.py options]
# The build dir defaults to ./build; it must hold dice, bench/bare_loop and
# tools/make_assets. The copy goes to <build dir>/bench/malloc_defaults, from the
# same sources, compiler, build type and flags. Reports, never gates: exits 0
# unless a build or a program failed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
[ $# -ge 1 ] && shift
build=$(cd "$build" && pwd)

for program in "$build/dice" "$build/bench/bare_loop" "$build/tools/make_assets"; do
  [ -x "$program" ] || { echo "frame_rate.sh: $program is not built" >&2; exit 1; }
done

cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
defaults="$build/bench/malloc_defaults"
mkdir -p "$defaults"
echo "frame_rate.sh: building dice with malloc defaults in $defaults" >&2
if ! { cmake -S "$(cached CMAKE_HOME_DIRECTORY)" -B "$defaults" \
         -DCMAKE_CXX_COMPILER="$(cached CMAKE_CXX_COMPILER)" \
         -DCMAKE_BUILD_TYPE="$(cached CMAKE_BUILD_TYPE)" \
         -DCMAKE_CXX_FLAGS="$(cached CMAKE_CXX_FLAGS)" -DDICE_GLIBC_MALLOC_DEFAULTS=ON \
         -DDICE_SANITIZE="$(cached DICE_SANITIZE)" -DDICE_DIE_TEXTURE="$(cached DICE_DIE_TEXTURE)" \
         -DBUILD_TESTING=OFF -DDICE_BENCH=OFF &&
       cmake --build "$defaults" --target dice -j2; } >"$defaults/build.log" 2>&1; then
  cat "$defaults/build.log" >&2
  echo "frame_rate.sh: the malloc-defaults copy did not build" >&2
  exit 1
fi

exec "$root/tools/with_xvfb.sh" python3 "$here/frame_rate.py" \
  --bare-loop "$build/bench/bare_loop" --dice "$build/dice" \
  --dice-malloc-defaults "$defaults/dice" \
  --make-assets "$build/tools/make_assets" --die-mesh "$root/assets/cube.3ds" \
  --die-texture "$root/assets/die.bmp" "$@"

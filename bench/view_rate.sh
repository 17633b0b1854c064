#!/usr/bin/env bash
# Frames per second at rest of the die, a 30,000-face model viewed and the same drawn as
# the die is, on the desktop and on the page, in one run.
# usage: bench/view_rate.sh [build dir] [page dir] [view_rate.py options]
# The build dir (default ./build) must hold bench/view_bench and tools/make_assets, the
# page dir (default ./build-web) the built page: tools/web.sh build makes it. Both render
# in software: the program on a private Xvfb, the page in Debian's headless chromium.
# Reports, never gates: exits 0 unless a run failed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
page=$(cd "${2:-$root/build-web}" && pwd)
shift $(($# < 2 ? $# : 2))

for program in "$build/bench/view_bench" "$build/tools/make_assets"; do
  [ -x "$program" ] || { echo "view_rate.sh: $program is not built" >&2; exit 1; }
done
[ -f "$page/dice.html" ] || {
  echo "view_rate.sh: no page in $page (tools/web.sh build makes it)" >&2
  exit 1
}
# Debian's selenium is a module of Debian's python; chromium's files go in a folder of ours.
source "$root/tools/lib/clean_up.sh"
scratch_folder work
TMPDIR="$work" "$root/tools/with_xvfb.sh" /usr/bin/python3 "$here/view_rate.py" \
  --view-bench "$build/bench/view_bench" --make-assets "$build/tools/make_assets" \
  --page "$page" --cube "$root/assets/cube.3ds" "$@"

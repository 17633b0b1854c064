#!/usr/bin/env bash
# Measures the web page's frame rate, time to rest and left-click times in each browser
# engine against the Linux program's; with --at-rest, the frames at rest of the die and of
# a large model, viewed and drawn as the die is, in chromium and on the desktop
# (view_rate.py).
# usage: bench/page_rate.sh [--at-rest] [build dir] [page dir] [page_rate.py options, e.g.
#        --engines firefox]
# The build dir (default ./build) must hold the Linux dice (and for --at-rest bench/view_bench
# and tools/make_assets), the page dir (default ./build-web) the built page: tools/web.sh build
# makes it, and installs what the engines need (tools/web.sh check installs checks/node_modules
# too). The page runs in Debian's headless chromium, Firefox ESR and WebKitGTK's MiniBrowser,
# the program on a private Xvfb, which Firefox and MiniBrowser use too; all render in software.
# Reports, never gates: exits 0 unless a run failed.
set -euo pipefail

script=page_rate.py
if [ "${1:-}" = --at-rest ]; then
  script=view_rate.py
  shift
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
page=$(cd "${2:-$root/build-web}" && pwd)
shift $(($# < 2 ? $# : 2))

[ -x "$build/dice" ] || { echo "page_rate.sh: $build/dice is not built" >&2; exit 1; }
[ -f "$page/dice.html" ] || {
  echo "page_rate.sh: no page in $page (tools/web.sh build makes it)" >&2
  exit 1
}
# Debian's selenium is a module of Debian's python; the browsers' files go in a folder of ours.
source "$root/tools/lib/clean_up.sh"
scratch_folder work
TMPDIR="$work" "$root/tools/with_xvfb.sh" /usr/bin/python3 "$here/$script" \
  --dice "$build/dice" --page "$page" --cube "$root/assets/cube.3ds" "$@"

#!/usr/bin/env bash
# Builds the program as a web page with emscripten, serves it, or checks it in headless chromium.
#
#   tools/web.sh build [--pips]   installs what is missing (install_deps.sh web) and builds
#                                 the page in build-web/ (with the die's pips, build-web-pips/):
#                                 dice.html, dice.js, dice.wasm and dice.data, to copy to any
#                                 static web host as they are
#   tools/web.sh serve [--pips]   the build, then serves its folder on 127.0.0.1 and prints
#                                 the address to open; ^C ends it
#   tools/web.sh check            both pages and the Linux programs they are held to (built
#                                 in build/ and build-pips/ as tools/demo.sh builds them), then
#                                 checks/web_check.py: each page in headless chromium
#                                 against the Linux window. Exits non-zero on a fault.
#
# Set-up and build messages go to stderr. No browser, server or X process outlives the script.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Debian's selenium is a module of Debian's python; another python3 may come first on PATH.
python=/usr/bin/python3

source "$root/tools/lib/common.sh"
source "$root/tools/lib/clean_up.sh"
log() { echo "web.sh: $*" >&2; }

page_dir() { # variant: the page's build folder
  if [ "$1" = pips ]; then echo "$root/build-web-pips"; else echo "$root/build-web"; fi
}

build_page() { # variant
  local out variant=()
  out=$(page_dir "$1")
  [ "$1" = pips ] && variant=(-DDICE_DIE_TEXTURE=die.bmp)
  local started=$SECONDS
  emcmake cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${variant[@]}" >&2
  cmake --build "$out" --target dice -j "$(nproc)" >&2
  log "built $out/dice.html in $((SECONDS - started)) s"
}

install() {
  local started=$SECONDS
  "$root/tools/install_deps.sh" web
  log "packages checked or installed in $((SECONDS - started)) s"
}

variant_of() { # the arguments after the command
  [ $# -le 1 ] || set -- bad
  case "${1:-}" in
    '') echo plain ;;
    --pips) echo pips ;;
    *) echo "usage: tools/web.sh build|serve [--pips] | check" >&2; exit 2 ;;
  esac
}

check() {
  local started=$SECONDS
  install
  build_page plain
  build_page pips
  build_program "$root/build"
  build_program "$root/build-pips" -DDICE_DIE_TEXTURE=die.bmp
  log "packages, pages and Linux programs ready in $((SECONDS - started)) s"
  # Chromium's profile and temporary files, and the check's own, in a folder of ours.
  local work
  scratch_folder work "$root/build-web/check.XXXXXX"
  started=$SECONDS
  TMPDIR="$work" "$root/tools/with_xvfb.sh" "$python" "$root/checks/web_check.py" \
    check "$root/build-web" "$root/build-web-pips" "$root/build/dice" "$root/build-pips/dice" \
    "$root/assets/cube.3ds"
  log "checked in $((SECONDS - started)) s"
}

case "${1:-}" in
  build)
    page=$(variant_of "${@:2}")
    install
    build_page "$page"
    ;;
  serve)
    page=$(variant_of "${@:2}")
    install
    build_page "$page"
    exec "$python" "$root/tools/serve.py" "$(page_dir "$page")" 8000
    ;;
  check) [ $# -eq 1 ] || { echo "usage: tools/web.sh check" >&2; exit 2; }; check ;;
  *) echo "usage: tools/web.sh build|serve [--pips] | check" >&2; exit 2 ;;
esac

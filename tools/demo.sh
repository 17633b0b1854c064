#!/usr/bin/env bash
# Builds the program and runs it: on your display, or on a virtual one when there is none.
#
# Builds in build/ and runs the program there, beside its cube.3ds: on the display in
# DISPLAY, or, with none, on a virtual X server started here (the console says which). Installs the missing Debian packages the program needs, and no more: the
# tests and benchmarks are neither looked for nor built. Set-up and build messages
# go to stderr, so standard output is the program's own.
#
# Usage: tools/demo.sh [--pips] [GLUT options...]
#   --pips  the die with its pips: built with -DDICE_DIE_TEXTURE=die.bmp in build-pips/
#           and run there, beside die.bmp
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
variant=()
if [ "${1:-}" = --pips ]; then
  shift
  build="$root/build-pips"
  variant=(-DDICE_DIE_TEXTURE=die.bmp)
fi
"$root/tools/install_deps.sh" demo
source "$root/tools/lib/common.sh"
build_program "$build" "${variant[@]}"
cd "$build"

if [ -n "${DISPLAY:-}" ]; then
  exec ./dice "$@"
fi
# The virtual display ends the program before itself, which the program would
# otherwise outlive noisily.
exec "$root/tools/with_xvfb.sh" bash -c '
  echo "demo.sh: no display (DISPLAY is not set), so the window opens on a virtual X" \
       "server, display $DISPLAY, where it cannot be seen; the console shows the account." \
       "To see the window, run this again with DISPLAY set to your X display." >&2
  exec ./dice "$@"' demo.sh "$@"

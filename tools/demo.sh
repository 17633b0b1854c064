#!/usr/bin/env bash
# Builds the program in build/ and runs it there, beside its cube.3ds: on the display
# in DISPLAY, or, with none, on a virtual X server started here (the console says
# which). Installs the missing Debian packages the program needs, and no more: the
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
configure=(cmake -S "$root" -B "$build" "${variant[@]}")
# A build folder that tools/test.sh set up keeps its tests; a new one leaves them out.
[ -f "$build/CMakeCache.txt" ] || configure+=(-DBUILD_TESTING=OFF -DDICE_BENCH=OFF)
"${configure[@]}" >&2
cmake --build "$build" --target dice -j "$(nproc)" >&2
cd "$build"

children=()
stop_children() { # the program before its X server, which it would outlive noisily
  local i
  for ((i = ${#children[@]} - 1; i >= 0; i--)); do
    kill "${children[i]}" 2>/dev/null || true
    wait "${children[i]}" 2>/dev/null || true
  done
}
trap stop_children EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ -z "${DISPLAY:-}" ]; then
  display_pipe=$(mktemp -u)
  mkfifo "$display_pipe"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_pipe" 2>/dev/null &
  children+=($!)
  read -r -t 30 number <"$display_pipe" || { echo "demo.sh: Xvfb did not start" >&2; exit 1; }
  rm -f "$display_pipe"
  export DISPLAY=":$number"
  echo "demo.sh: no display (DISPLAY is not set), so the window opens on a virtual X" \
       "server, display $DISPLAY, where it cannot be seen; the console shows the account." \
       "To see the window, run this again with DISPLAY set to your X display." >&2
fi

./dice "$@" &
children+=($!)
wait "${children[-1]}"

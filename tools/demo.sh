#!/usr/bin/env bash
# Builds the program in build/ and runs it there, beside its cube.3ds: on the display
# in DISPLAY, or, with none, on a virtual X server started here (the console says which
# one and how to look at it). Installs missing Debian packages first.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/install_deps.sh" demo
cmake -S "$root" -B "$root/build"
cmake --build "$root/build" --target dice -j "$(nproc)"
cd "$root/build"

children=()
stop_children() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
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
  echo "demo.sh: no display (DISPLAY is not set), so the window opens on a virtual X server," \
       "display $DISPLAY. To see it: import -display $DISPLAY -window root shot.png" >&2
fi

./dice "$@" &
children+=($!)
wait "${children[-1]}"

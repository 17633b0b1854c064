#!/usr/bin/env bash
# Runs a command on a private Xvfb server with Mesa's software renderer, so
# real-window tests need no display of their own and can run side by side.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: with_xvfb.sh command [args...]" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "with_xvfb.sh: Xvfb is not installed" >&2; exit 2; }

display_pipe=$(mktemp -u)
mkfifo "$display_pipe"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_pipe" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -f "$display_pipe"' EXIT

read -r -t 30 number <"$display_pipe" || { echo "with_xvfb.sh: Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$number"
export LIBGL_ALWAYS_SOFTWARE=1
"$@"

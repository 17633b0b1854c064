#!/usr/bin/env bash
# Runs a command on a private virtual X display, and leaves nothing behind however it ends.
#
# The display (Xvfb) ends, with everything the command started, however either ends.
#
# Usage: tools/with_xvfb.sh [--wine] [--screen WxH] command [args...]
#        tools/with_xvfb.sh [--wine] [--screen WxH] --serve
#   command  runs with DISPLAY set to a new Xvfb of its own and LIBGL_ALWAYS_SOFTWARE=1
#            (Mesa's software renderer), in a process group of its own: ^C, SIGTERM
#            and SIGHUP are passed on to that group, and when the command ends,
#            whatever of the group is left is ended before the display. Exit status:
#            the command's, or 128 + the signal that interrupted it.
#   --serve  for a caller that uses the display over several steps: prints the
#            display's number on a line of its own, then keeps the display until its
#            standard input ends (the caller holds the other end of a pipe, so even
#            a caller killed outright ends it) or it is signalled.
#   --wine   also ends the wine server of $WINEPREFIX, which runs on the display.
#   --screen the display's size in pixels (1024x768 without it), for windows made
#            larger than the program's own.
# Exits 2 when Xvfb is missing or does not start. Xvfb is told to end when this
# script does, even by SIGKILL; nothing is left in /tmp.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/clean_up.sh"

say() { echo "with_xvfb.sh: $*" >&2; }

wine=false
serve=false
screen=1024x768
while [ $# -gt 0 ]; do
  case "$1" in
    --wine) wine=true ;;
    --serve) serve=true ;;
    --screen)
      [[ ${2:-} =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || { say "--screen takes WIDTHxHEIGHT"; exit 2; }
      screen=$2
      shift
      ;;
    --) shift; break ;;
    *) break ;;
  esac
  shift
done
if { $serve && [ $# -ne 0 ]; } || { ! $serve && [ $# -eq 0 ]; }; then
  say "usage: with_xvfb.sh [--wine] [--screen WxH] command [args...] | with_xvfb.sh [--wine] [--screen WxH] --serve"
  exit 2
fi
if $wine && [ -z "${WINEPREFIX:-}" ]; then
  say "--wine needs WINEPREFIX set"
  exit 2
fi
command -v Xvfb >/dev/null || { say "Xvfb is not installed (Debian package xvfb)"; exit 2; }

xvfb_pid=
number=
group=
interrupted=

end_group() { # the command's process group, gently first
  local tries
  [ -n "$group" ] || return 0
  kill -TERM -- "-$group" 2>/dev/null || return 0
  for tries in $(seq 50); do
    kill -0 -- "-$group" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL -- "-$group" 2>/dev/null || true
}

end_xvfb() { # Xvfb removes its lock file and socket itself when it ends on SIGTERM
  local tries
  [ -n "$xvfb_pid" ] || return 0
  kill -TERM "$xvfb_pid" 2>/dev/null || true
  for tries in $(seq 100); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null; then
    kill -KILL "$xvfb_pid" 2>/dev/null || true
    sleep 0.1
    # Killed outright, it leaves both; they are ours only while they name its pid.
    if [ -n "$number" ] && [ "$(tr -cd 0-9 <"/tmp/.X$number-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
      rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    fi
  fi
}

end_wine_server_folder() { # wine keeps its ended server's lock in /tmp, named for the prefix
  local name folder
  name="server-$(stat -c %D "$WINEPREFIX" 2>/dev/null)-$(printf %x "$(stat -c %i "$WINEPREFIX" 2>/dev/null || echo 0)")"
  for folder in /tmp/wine-*/"$name" "/tmp/.wine-$(id -u)/$name"; do
    [ -d "$folder" ] && [ -O "$folder" ] || continue
    rm -rf "$folder"
    rmdir "$(dirname "$folder")" 2>/dev/null || true # empty once no other prefix uses it
  done
}

end_wine() { # wine's server outlives its programs by a few seconds otherwise
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  end_wine_server_folder
}

on_exit end_xvfb
! $wine || on_exit end_wine
on_exit end_group

on_signal() { # name status: while the command runs, passed on to it
  interrupted=$2
  if [ -n "$group" ]; then
    kill "-$1" -- "-$group" 2>/dev/null || true # as ^C would have reached it
  else
    exit "$2"
  fi
}
trap 'on_signal INT 130' INT
trap 'on_signal TERM 143' TERM
trap 'on_signal HUP 129' HUP

# A session of its own, so ^C at a terminal reaches the command (through us) rather
# than the display under it; --pdeathsig ends it with us whatever ends us. -noreset:
# a server that resets as its last client leaves refuses some of the clients that
# come just then (11 of 300 back-to-back xdpyinfo runs, against none with it), which
# failed programs run one after another on one display.
exec {numbers}< <(exec setsid setpriv --pdeathsig TERM \
  Xvfb -displayfd 3 -noreset -screen 0 "${screen}x24" -nolisten tcp 3>&1 >/dev/null 2>&1)
xvfb_pid=$!
read -r -t 30 number <&"$numbers" || { say "Xvfb did not start"; exit 2; }
exec {numbers}<&-

if $serve; then
  echo "$number"
  # Until the caller closes its end; a signal interrupts the read and ends us.
  while read -r _; do :; done
  exit 0
fi

export DISPLAY=":$number" LIBGL_ALWAYS_SOFTWARE=1
set -m # the command gets a process group of its own
"$@" &
group=$!
set +m
status=0
wait "$group" || status=$?
# A trapped signal interrupts wait; wait again until the command has really ended.
while kill -0 "$group" 2>/dev/null; do
  status=0
  wait "$group" || status=$?
done
exit "${interrupted:-$status}"

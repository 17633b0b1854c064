#!/usr/bin/env python3
"""With no X display to open, the program stops at once: freeglut's own one-line
message on standard error, exit status 1 (freeglut's), and nothing on standard
output, though a readable cube.3ds lies beside it. Needs no X server.

Cases: unset (no DISPLAY at all) and unreachable (DISPLAY names a display with
no server behind it).

Usage: no_display_test.py CASE DICE CUBE_3DS
"""

import os
import shutil
import socket
import subprocess
import tempfile

from dice_run import START_TIMEOUT, run_case
from run_to_rest import TestFailure, check, show

X_SOCKETS = "/tmp/.X11-unix/X"
X_TCP_BASE = 6000


def run_dice(dice, asset, display):
    """Runs dice in a fresh folder beside a copy of the asset: (status, stdout, stderr)."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    if display is not None:
        env["DISPLAY"] = display
    folder = tempfile.mkdtemp(prefix="dice_no_display_")
    try:
        shutil.copy(asset, os.path.join(folder, "cube.3ds"))
        done = subprocess.run([dice], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=START_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise TestFailure("dice still running after %.0f s with DISPLAY %r"
                          % (START_TIMEOUT, display))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return done.returncode, done.stdout, done.stderr


def check_refusal(dice, asset, display):
    status, out, err = run_dice(dice, asset, display)
    named = "" if display is None else display
    want = ("freeglut (%s): failed to open display '%s'\n" % (dice, named)).encode()
    check(err == want, "stderr is %s, expected %s" % (show(err), show(want)))
    check(out == b"", "stdout is not empty: %s" % show(out))
    check(status == 1, "exit status %d, expected 1" % status)


def unused_display():
    """A display number with no local server: no socket of that name, nothing on its port."""
    with open("/proc/net/unix") as table:
        bound = table.read()
    for number in range(4242, 5000):
        if X_SOCKETS + str(number) in bound or os.path.exists(X_SOCKETS + str(number)):
            continue
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", X_TCP_BASE + number)) != 0:
                return ":%d" % number
    check(False, "no unused display number between 4242 and 4999")


def case_unset(dice, asset):
    check_refusal(dice, asset, None)


def case_unreachable(dice, asset):
    check_refusal(dice, asset, unused_display())


if __name__ == "__main__":
    run_case({"unset": case_unset, "unreachable": case_unreachable})

#!/usr/bin/env python3
"""The Windows build against the Linux one: dice.exe runs under wine until the die
rests, then its account, window and picture are held to what the Linux program gives.

- Standard output, with CR LF turned into LF, is the whole account byte for byte (the
  dump of the asset and every path line), and every line end is CR LF.
- The window is titled "3d DICE model" and its client area is 640 x 480 (wine makes
  the client area the X window and leaves the frame to a window manager).
- The client area at rest equals the Linux program's, pixel for pixel.
- main reaches GLUT through the header's exit-passing entry points, which dice.exe
  holds or imports; dice.exe is a console program and needs no DLL that Windows lacks
  unless it lies beside it.

Usage: wine_check.py DICE_EXE MAIN_OBJECT LINUX_DICE CUBE_3DS, on an X display, with
WINEPREFIX set (tools/windows.sh check runs it so).
"""

import os
import re
import signal
import sys
import time

from dice_run import (
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    TestFailure,
    check,
    run_tool,
    show,
)
from dump_3ds import read_account
from throw_path import path_lines

MINGW_TOOLS = "x86_64-w64-mingw32-"
EXIT_PASSING = ["__glutInitWithExit", "__glutCreateWindowWithExit"]
PLAIN = ["glutInit", "glutCreateWindow"]
# What a 64-bit Windows has in System32 and the program may import; the C runtime's
# API sets cover a build against the Universal CRT.
WINDOWS_DLLS = {
    "advapi32.dll", "gdi32.dll", "glu32.dll", "kernel32.dll", "msvcrt.dll",
    "opengl32.dll", "ucrtbase.dll", "user32.dll", "winmm.dll",
}
WINDOWS_DLL_PATTERN = re.compile(r"api-ms-win-[a-z0-9-]+\.dll")

START_TIMEOUT = 60.0  # wine's start, with a busy machine
THROW_TIMEOUT = 300.0  # the whole throw on the software renderer, under wine
STILL_WATCH = 2.0


def check_linkage(exe, main_object):
    """The exit-passing entry points from main, a console program, and no DLL that
    Windows would not find."""
    # Against freeglut's DLL, the header's dllimport makes each name __imp_NAME.
    wanted = [line.split()[-1] for line in run_tool([MINGW_TOOLS + "nm", "-u", main_object])
              .splitlines() if line.strip()]
    wanted = [name[len("__imp_"):] if name.startswith("__imp_") else name for name in wanted]
    for name in EXIT_PASSING + ["exit"]:
        check(name in wanted, "main does not call %s; it calls %s" % (name, " ".join(wanted)))
    for name in PLAIN:
        check(name not in wanted, "main calls %s, not its exit-passing form" % name)

    headers = run_tool([MINGW_TOOLS + "objdump", "-p", exe])
    # Its console is where the account shows.
    check(re.search(r"^Subsystem\s+00000003\s", headers, re.M),
          "dice.exe is not a console program")
    defined = set(re.findall(r"^[0-9a-f]+ [TtDd] (\S+)$",
                             run_tool([MINGW_TOOLS + "nm", exe]), re.M))
    imported = set(re.findall(r"^\s+[0-9a-f]+\s+[0-9]+\s+(\S+)$", headers, re.M))
    for name in EXIT_PASSING:
        check(name in defined or name in imported, "dice.exe neither holds nor imports " + name)

    beside = {name.lower() for name in os.listdir(os.path.dirname(os.path.abspath(exe)))}
    dlls = [name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)]
    check(dlls, "objdump found no imported DLL in " + exe)
    missing = [
        name for name in dlls
        if name not in WINDOWS_DLLS and not WINDOWS_DLL_PATTERN.fullmatch(name)
        and name not in beside
    ]
    check(not missing, "dice.exe needs %s, which Windows lacks and which is not beside it"
          % ", ".join(missing))
    return dlls


def first_difference(got, want):
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    return "at byte %d (line %d): expected %s, got %s" % (
        at, want.count(b"\n", 0, at) + 1, show(want[: at + 40], 80), show(got[: at + 40], 80))


def run_to_rest(dice, asset, expected, launcher=(), as_lf=lambda out: out, *, other_files=(),
                folder=None):
    """Runs until the whole account is out and the die has rested a while: (raw output,
    screenshot, window size). In folder as it is, if given; else in a new one with the
    asset and other_files."""
    with DiceRun(dice, asset, other_files, launcher=launcher, folder=folder) as run:
        run.find_window()
        size = run.window_size()

        def account_complete(out):
            out = as_lf(out)
            check(expected.startswith(out[: len(expected)]),
                  "output differs " + first_difference(out, expected))
            return len(out) >= len(expected)

        run.wait_output(lambda out: len(out) > 0, START_TIMEOUT, "output")
        run.wait_output(account_complete, THROW_TIMEOUT, "whole account")
        at_rest = run.snapshot()
        time.sleep(STILL_WATCH)
        check(run.process.poll() is None, "%s exited with status %s at rest"
              % (dice, run.process.returncode))
        shot = run.screenshot()
        out = run.snapshot()
        check(out == at_rest, "output went on after the die came to rest: "
              + show(out[len(at_rest) - 40 :]))
        return out, shot, size


def main():
    if len(sys.argv) != 5:
        print("usage: wine_check.py DICE_EXE MAIN_OBJECT LINUX_DICE CUBE_3DS", file=sys.stderr)
        sys.exit(2)
    exe, main_object, linux_dice, asset = sys.argv[1:]
    # Stopped from outside, the runs still end their programs and remove their folders.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    with open(asset, "rb") as model:
        expected = read_account(model.read())[0] + "".join(path_lines()).encode()
    try:
        dlls = check_linkage(exe, main_object)
        print("dice.exe imports %s only; main calls %s" % (", ".join(dlls), ", ".join(EXIT_PASSING)))

        started = time.monotonic()
        linux_out, linux_shot, _ = run_to_rest(linux_dice, asset, expected)
        check(linux_out == expected, "Linux output differs " + first_difference(linux_out, expected))
        print("Linux build: whole account and rest in %.1f s" % (time.monotonic() - started))

        started = time.monotonic()
        raw, shot, size = run_to_rest(exe, asset, expected, ["wine"],
                                      lambda out: out.replace(b"\r\n", b"\n"))
        out = raw.replace(b"\r\n", b"\n")
        check(out == expected, "output with CR LF as LF differs " + first_difference(out, expected))
        check(raw == expected.replace(b"\n", b"\r\n"), "a line does not end in CR LF")
        check(size == (WINDOW_WIDTH, WINDOW_HEIGHT), "client area is %dx%d, not 640x480" % size)
        print("dice.exe under wine: the same %d bytes with CR LF, %d lines, in %.1f s"
              % (len(out), out.count(b"\n"), time.monotonic() - started))

        check((shot.width, shot.height) == (linux_shot.width, linux_shot.height),
              "screenshots are %dx%d and %dx%d" % (shot.width, shot.height,
                                                   linux_shot.width, linux_shot.height))
        differ = sum(1 for i in range(0, len(shot.pixels), 3)
                     if shot.pixels[i : i + 3] != linux_shot.pixels[i : i + 3])
        check(differ == 0, "the die at rest differs from the Linux build's in %d of %d pixels"
              % (differ, shot.width * shot.height))
        print("the die at rest: the same %dx%d picture as the Linux build's"
              % (shot.width, shot.height))
    except TestFailure as failure:
        print("FAIL wine_check: %s" % failure)
        sys.exit(1)
    print("PASS wine_check")


if __name__ == "__main__":
    main()

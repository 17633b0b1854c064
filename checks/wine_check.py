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
- Rolled from a seed beside die.bmp, three dice: the same account, the same line on
  standard error (CR LF read as LF, freeglut's own warning under wine aside) and the same
  picture at rest as the Linux program's. Two runs without a seed, side by side, say
  two different seeds from the system.

Usage: wine_check.py DICE_EXE MAIN_OBJECT LINUX_DICE CUBE_3DS, on an X display, with
WINEPREFIX set (tools/windows.sh check runs it so).
"""

import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/account"))
from dice_run import WINDOW_HEIGHT, WINDOW_WIDTH, DiceRun, run_tool, window_to_rest  # noqa: E402
from run_to_rest import check, run_to_rest, verdict, watch  # noqa: E402
from throw_path import whole_account  # noqa: E402

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
ROLL = ["--roll", "3", "--seed", "8841026633"]
# freeglut's words under wine as it starts (docs/windows.md), not the program's.
WINE_FREEGLUT_WARNING = re.compile(
    rb"freeglut \([^)\n]*\): fgPlatformInitialize: CreateDC failed, Screen size info may be "
    rb"incorrect\nThis is quite likely caused by a bad '-display' parameter\n")
SEED_SAID = re.compile(rb"^dice: rolled [1-6] \(seed ([0-9]+)\)\r?$", re.M)
SEED_TIMEOUT = 60.0


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


def exe_to_rest(exe, asset, expected, folder=None):
    """dice.exe under wine until the die rests, every line ending in CR LF: as
    window_to_rest, the output read with CR LF as LF."""
    raw, shot, size = window_to_rest(exe, asset, expected, ["wine"], True, folder=folder)
    check(raw == expected.replace(b"\n", b"\r\n"), "a line does not end in CR LF")
    return raw, shot, size


def roll_to_rest(dice, asset, expected, launcher=()):
    """dice --roll 3 --seed N beside die.bmp until the dice rest: (what it said on
    standard error, CR LF read as LF, freeglut's warning under wine left out; the window)."""
    crlf = bool(launcher)
    die_bmp = os.path.join(os.path.dirname(asset), "die.bmp")
    with tempfile.TemporaryFile() as said:
        with DiceRun(dice, asset, [die_bmp], launcher, args=ROLL, stderr=said) as run:
            run.find_window()
            read = (lambda: run.snapshot().replace(b"\r\n", b"\n")) if crlf else run.snapshot
            run_to_rest(read, run.ended, expected, pause=run.wait_more)
            shot = run.screenshot()
        said.seek(0)
        words = said.read()
    return (WINE_FREEGLUT_WARNING.sub(b"", words.replace(b"\r\n", b"\n")) if crlf else words), shot


def system_seeds(exe, asset):
    """The seeds two runs of dice.exe --roll, side by side, say they took from the system."""
    with tempfile.TemporaryFile() as first, tempfile.TemporaryFile() as second:
        runs = [DiceRun(exe, asset, [], ["wine"], args=["--roll"], stderr=said)
                for said in (first, second)]
        try:
            def said():  # the two runs' words, a line of their own between them
                return b"\n--\n".join(os.pread(f.fileno(), 4096, 0) for f in (first, second))
            words = watch(said, lambda: next(filter(None, (run.ended() for run in runs)), None),
                          lambda both: len(SEED_SAID.findall(both)) == 2, SEED_TIMEOUT,
                          "a roll said by both")
        finally:
            for run in runs:
                run.stop()
    return [seed.decode() for seed in SEED_SAID.findall(words)]


def check_all(exe, main_object, linux_dice, asset):
    with open(asset, "rb") as model:
        expected = whole_account(model.read())
    dlls = check_linkage(exe, main_object)
    print("dice.exe imports %s only; main calls %s" % (", ".join(dlls), ", ".join(EXIT_PASSING)))

    started = time.monotonic()
    _, linux_shot, _ = window_to_rest(linux_dice, asset, expected)
    print("Linux build: whole account and rest in %.1f s" % (time.monotonic() - started))

    started = time.monotonic()
    _, shot, size = exe_to_rest(exe, asset, expected)
    check(size == (WINDOW_WIDTH, WINDOW_HEIGHT), "client area is %dx%d, not 640x480" % size)
    print("dice.exe under wine: the same %d bytes with CR LF, %d lines, in %.1f s"
          % (len(expected), expected.count(b"\n"), time.monotonic() - started))

    differ = len(shot.differing(linux_shot))
    check(differ == 0, "the die at rest differs from the Linux build's in %d of %d pixels"
          % (differ, shot.width * shot.height))
    print("the die at rest: the same %dx%d picture as the Linux build's" % (shot.width, shot.height))

    started = time.monotonic()
    linux_said, linux_shot = roll_to_rest(linux_dice, asset, expected)
    said, shot = roll_to_rest(exe, asset, expected, ["wine"])
    check(re.fullmatch(rb"dice: rolled 3 dice: [1-6] \+ [1-6] \+ [1-6] = [0-9]+ \(seed %s\)\n"
                       % ROLL[3].encode(), linux_said), "the Linux build said %r" % linux_said)
    check(said == linux_said, "dice.exe %s said %r, the Linux build %r"
          % (" ".join(ROLL), said, linux_said))
    differ = len(shot.differing(linux_shot))
    check(differ == 0, "the rolled dice at rest differ from the Linux build's in %d pixels" % differ)
    print("dice.exe %s: the account, %r and the picture at rest as the Linux build's, in %.1f s"
          % (" ".join(ROLL), said.decode(), time.monotonic() - started))

    started = time.monotonic()
    seeds = system_seeds(exe, asset)
    check(seeds[0] != seeds[1], "two runs of dice.exe --roll both took the seed %s" % seeds[0])
    print("dice.exe --roll twice: seeds %s and %s from the system, in %.1f s"
          % (seeds[0], seeds[1], time.monotonic() - started))


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit("usage: wine_check.py DICE_EXE MAIN_OBJECT LINUX_DICE CUBE_3DS")
    verdict("wine_check", lambda: check_all(*sys.argv[1:]))

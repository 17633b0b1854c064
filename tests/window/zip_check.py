#!/usr/bin/env python3
"""The Windows zip as a user has it: one folder holding exactly dice.exe, cube.3ds,
LICENSE.txt and README.txt (the two texts in Windows line ends); unpacked, and
dice.exe started under wine from that folder, its standard output with CR LF read as
LF is exactly the account of the zip's own cube.3ds, every line ending in CR LF, and
nothing follows once the die rests.

Usage: zip_check.py ZIP UNPACKED_TOP_FOLDER, on an X display with WINEPREFIX set
(tools/package.sh check runs it so).
"""

import os
import signal
import sys
import time
import zipfile

from dice_run import TestFailure, check
from dump_3ds import read_account
from throw_path import path_lines
from wine_check import first_difference, run_to_rest

FILES = ["LICENSE.txt", "README.txt", "cube.3ds", "dice.exe"]
TEXTS = ["LICENSE.txt", "README.txt"]


def check_layout(zip_path, folder):
    top = os.path.basename(folder)
    with zipfile.ZipFile(zip_path) as archive:
        files = sorted(name for name in archive.namelist() if not name.endswith("/"))
    check(files == ["%s/%s" % (top, name) for name in FILES],
          "the zip holds %s, not %s in one folder %s" % (files, FILES, top))
    for name in TEXTS:
        with open(os.path.join(folder, name), "rb") as text:
            data = text.read()
        check(data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"),
              "%s has a line not ending in CR LF" % name)


def main():
    if len(sys.argv) != 3:
        print("usage: zip_check.py ZIP UNPACKED_TOP_FOLDER", file=sys.stderr)
        sys.exit(2)
    zip_path, folder = sys.argv[1:]
    # Stopped from outside, the run still ends the program.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    asset = os.path.join(folder, "cube.3ds")
    with open(asset, "rb") as model:
        expected = read_account(model.read())[0] + "".join(path_lines()).encode()
    try:
        check_layout(zip_path, folder)
        started = time.monotonic()
        raw, _, _ = run_to_rest(os.path.join(folder, "dice.exe"), asset, expected, ["wine"],
                                lambda out: out.replace(b"\r\n", b"\n"), folder=folder)
        out = raw.replace(b"\r\n", b"\n")
        check(out == expected, "output with CR LF as LF differs " + first_difference(out, expected))
        check(raw == expected.replace(b"\n", b"\r\n"), "a line does not end in CR LF")
    except TestFailure as failure:
        print("FAIL zip_check: %s" % failure)
        sys.exit(1)
    print("PASS zip_check: %s as unpacked, dice.exe from its folder: the account of its"
          " cube.3ds, %d bytes with CR LF, in %.1f s"
          % (", ".join(FILES), len(raw), time.monotonic() - started))


if __name__ == "__main__":
    main()

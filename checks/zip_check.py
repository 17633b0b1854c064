#!/usr/bin/env python3
"""The Windows zip as a user has it: one folder holding exactly dice.exe, cube.3ds,
die.bmp (the asset's bytes), LICENSE.txt and README.txt (the two texts in Windows line ends); unpacked, and
dice.exe started under wine from that folder, its standard output with CR LF read as
LF is exactly the account of the zip's own cube.3ds, every line ending in CR LF, and
nothing follows once the die rests.

Usage: zip_check.py ZIP UNPACKED_TOP_FOLDER, on an X display with WINEPREFIX set
(tools/package.sh check runs it so).
"""

import os
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/account"))
from run_to_rest import check, verdict  # noqa: E402
from throw_path import whole_account  # noqa: E402
from wine_check import exe_to_rest  # noqa: E402

FILES = ["LICENSE.txt", "README.txt", "cube.3ds", "dice.exe", "die.bmp"]
TEXTS = ["LICENSE.txt", "README.txt"]
DIE_BMP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../assets/die.bmp")


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
    with open(os.path.join(folder, "die.bmp"), "rb") as shipped, open(DIE_BMP, "rb") as asset:
        check(shipped.read() == asset.read(), "the zip's die.bmp is not assets/die.bmp")


def check_all(zip_path, folder):
    asset = os.path.join(folder, "cube.3ds")
    with open(asset, "rb") as model:
        expected = whole_account(model.read())
    check_layout(zip_path, folder)
    started = time.monotonic()
    raw, _, _ = exe_to_rest(os.path.join(folder, "dice.exe"), asset, expected, folder)
    return ("%s as unpacked, dice.exe from its folder: the account of its cube.3ds, %d bytes "
            "with CR LF, in %.1f s" % (", ".join(FILES), len(raw), time.monotonic() - started))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: zip_check.py ZIP UNPACKED_TOP_FOLDER")
    verdict("zip_check", lambda: check_all(*sys.argv[1:]))

#!/usr/bin/env python3
"""A model of one's own in viewing mode, in a real window: the model as cube.3ds with
its texture beside it, run with --view until it rests.

- Standard output is exactly the model's whole account, as without --view, and
  standard error exactly what the program says it shows.
- At rest, once it has come forward, the model is framed: its box on screen is
  FRAMED_SIDE pixels on its larger side (70% of the window's smaller side) and
  centred in the window.
- A left drag turns it, printing nothing: turned a quarter, the side of this thin
  model faces the camera. The wheel brings it nearer, over twice the pixels; lit and
  textured, most of them are coloured (lit without a texture, a pixel's three
  channels are equal). r puts it back as it was at rest, pixel for pixel; a left
  click without a drag reads it again, exactly once.

Usage: view_test.py DICE MP5_SIL_3DS TEXTURE, on an X display (see tools/with_xvfb.sh).
"""

import math
import os
import sys
import tempfile
import time

from dice_run import WINDOW_HEIGHT, WINDOW_WIDTH, DiceRun, bounding_box, run_tool
from run_to_rest import check, first_difference, keeps_still, run_to_rest, verdict
from throw_path import whole_account

# What the program says of the model: its counts are those of its account.
SAID = (b"dice: viewing cube.3ds: 1 object, 256 vertices, 366 faces, size 2.78231 x 44.2009 x "
        b"19.3638\ndice: texture MP5SIL.BMP: used, mp5sil.bmp (256 x 256)\n")
FRAMED_SIDE = (300, 380)  # pixels: about 0.7 of 480
OFF_CENTRE = 10  # pixels the box's middle may lie from the window's: perspective
FORWARD = 1.0  # seconds the model takes to come forward from the die's place
MIN_COLOURED = 0.5  # of its pixels that are not grey: the texture shows
WHEEL_STEPS = 6
SETTLE = 1.0  # for a frame with what was just done to be on screen


def lit(shot):
    return {(x, y) for y in range(shot.height) for x in range(shot.width) if any(shot.rgb(x, y))}


def xdotool(run, *steps):
    run_tool(["xdotool", "mousemove", "--window", run.window, str(WINDOW_WIDTH // 2),
              str(WINDOW_HEIGHT // 2), *steps])
    time.sleep(SETTLE)


def case_model(dice, model, texture):
    with open(model, "rb") as source:
        expected = whole_account(source.read())
    with tempfile.TemporaryFile() as errors, \
            DiceRun(dice, model, [texture], args=["--view"], stderr=errors) as run:
        run.find_window()
        run_to_rest(run.snapshot, run.ended, expected, pause=run.wait_more)
        errors.seek(0)
        told = errors.read()
        check(told == SAID, "standard error differs " + first_difference(told, SAID))

        time.sleep(FORWARD + SETTLE)
        rest = run.screenshot()
        shape = lit(rest)
        left, top, right, bottom = bounding_box(shape or {(0, 0)})
        length = max(right - left, bottom - top) + 1
        middle = ((left + right + 1) / 2, (top + bottom + 1) / 2)
        check(FRAMED_SIDE[0] <= length <= FRAMED_SIDE[1]
              and math.dist(middle, (WINDOW_WIDTH / 2, WINDOW_HEIGHT / 2)) <= OFF_CENTRE,
              "at rest the model lies in (%d, %d)-(%d, %d): not framed" % (left, top, right, bottom))

        got = run.snapshot()
        xdotool(run, "mousedown", "1", "mousemove_relative", "--", "90", "0",
                "mousemove_relative", "--", "90", "0", "mouseup", "1")
        turned = run.screenshot()
        check(turned.differing(rest), "a left drag at rest left the model as it was")
        keeps_still(run.snapshot, got, "after a left drag")
        xdotool(run, *["click", "4"] * WHEEL_STEPS)
        shot = run.screenshot()
        nearer = lit(shot)
        coloured = [p for p in nearer if len(set(shot.rgb(*p))) > 1]
        check(len(nearer) > 2 * len(lit(turned)) and len(coloured) >= MIN_COLOURED * len(nearer),
              "turned and %d wheel steps nearer, the model covers %d pixels (%d turned), %d of "
              "them coloured" % (WHEEL_STEPS, len(nearer), len(lit(turned)), len(coloured)))
        run_tool(["xdotool", "key", "--window", run.window, "r"])
        time.sleep(SETTLE)
        back = run.screenshot().differing(rest)
        check(not back, "put back with r, %d pixels differ from the model at rest" % len(back))

        xdotool(run, "click", "1")
        again = got + run.dump
        run_to_rest(run.snapshot, run.ended, again, start=None, pause=run.wait_more)
        print("framed at rest %d pixels, %d px long, centred at (%.1f, %.1f); turned and nearer "
              "%d, %d coloured; r and a click as they should"
              % (len(shape), length, *middle, len(nearer), len(coloured)))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip())
    verdict("view_" + os.path.basename(sys.argv[2]), lambda: case_model(*sys.argv[1:]))

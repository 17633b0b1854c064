#!/usr/bin/env python3
"""Roll mode in a real window. faces: six dice whose seed draws six different numbers,
to rest: the one die's account; the resting dice's outlines, apart, in the window; a
left click reads the mesh once and moves nothing; then, the window enlarged, each
front face has as many pips as standard error says; space rolls again. no_texture:
without die.bmp, the loader's line, white dice, the numbers still said.

Usage: roll_test.py {faces|no_texture} DICE CUBE_3DS, on an X display of at least
1920x1440 (see tools/with_xvfb.sh); die.bmp is taken from beside CUBE_3DS.
"""

import os
import tempfile
import time

from dice_run import (CAMERA_Z, DARK_LEVEL, WINDOW_HEIGHT, WINDOW_WIDTH, DiceRun, bounding_box,
                      connected_parts, project, run_case, run_tool)
from run_to_rest import check, first_difference, keeps_still, run_to_rest, so_far
from throw_path import path_lines, whole_account
from throw_test import (DIE_Z, OUTLINE_SLACK, REST_X, REST_Y, THROW_TIMEOUT, convex_hull,
                        pixels_inside)

# Seed 112 draws 4 2 5 6 1 3, with all four quarter turns, then 2 3 1 2 4 5.
SAID = b"dice: rolled 6 dice: 4 + 2 + 5 + 6 + 1 + 3 = 21 (seed 112)\n"
SAID_AGAIN = b"dice: rolled 6 dice: 2 + 3 + 1 + 2 + 4 + 5 = 17 (seed 112, roll 2)\n"
DICE_SPACING = 36.0
ENLARGED = 3  # a face, some 18 px across at 640x480, is 53 px with pips of some 80 pixels
FACE_INSET = 0.9  # the face's middle, clear of its grey border
SETTLE, SETTLE_SHOTS = 0.5, 20  # for frames of the new size to be on screen


def resting_pixels(vertices, die, scale=1, inset=1):  # die 0 to 5, left to right
    """The pixels inside the die's corners at rest (a turned cube's are the same), scaled,
    drawn in towards their middle by inset."""
    x = REST_X - DICE_SPACING * (5 - die)
    corners = {project((x + vx, REST_Y + vy, CAMERA_Z + DIE_Z + vz)) for vx, vy, vz in vertices}
    mid = [sum(c) / len(corners) for c in zip(*corners)]
    return pixels_inside(convex_hull([(scale * (mid[0] + inset * (cx - mid[0])),
                                       scale * (mid[1] + inset * (cy - mid[1])))
                                      for cx, cy in corners]))


def resize(run, width, height):
    """Makes the window that size; its picture once two screenshots in a row agree."""
    run_tool(["xdotool", "windowsize", "--sync", run.window, str(width), str(height)])
    before = shot = None
    for _ in range(SETTLE_SHOTS):
        time.sleep(SETTLE)
        before, shot = shot, run.screenshot()
        if before is not None and before.pixels == shot.pixels:
            break
    return shot


def case_faces(dice, asset):
    with open(asset, "rb") as model:
        account = whole_account(model.read())
    texture = os.path.join(os.path.dirname(asset), "die.bmp")
    with tempfile.TemporaryFile() as errors, DiceRun(
            dice, asset, [texture], args=["--roll", "6", "--seed", "112"], stderr=errors) as run:
        run.find_window()
        run_to_rest(run.snapshot, run.ended, account, pause=run.wait_more)
        run.left_click(WINDOW_WIDTH // 2, WINDOW_HEIGHT // 2)
        run.wait_output(so_far(account + run.dump), THROW_TIMEOUT, "the dump after a left click")
        keeps_still(run.snapshot, account + run.dump, "after a left click at rest")
        errors.seek(0)
        told = errors.read()
        check(told == SAID, "standard error differs " + first_difference(told, SAID))
        said = [int(n) for n in told.split(b": ")[-1].split(b" = ")[0].split(b" + ")]

        shot = run.screenshot()
        lit = {(x, y) for y in range(shot.height) for x in range(shot.width) if any(shot.rgb(x, y))}
        outlines = set().union(*(resting_pixels(run.vertices, die) for die in range(6)))
        check(len(lit ^ outlines) <= OUTLINE_SLACK * len(outlines), "what is drawn differs from "
              "the dice's outlines in %d of %d pixels" % (len(lit ^ outlines), len(outlines)))
        boxes = sorted(bounding_box(part) for part in connected_parts(lit))
        check(len(boxes) == 6 and all(0 < left and 0 < top and right < WINDOW_WIDTH - 1
                                      and bottom < WINDOW_HEIGHT - 1
                                      for left, top, right, bottom in boxes),
              "dice drawn as %s, not 6 apart in the window" % boxes)

        # The projection follows the window's height: the same picture, larger.
        shot = resize(run, ENLARGED * WINDOW_WIDTH, ENLARGED * WINDOW_HEIGHT)
        check((shot.width, shot.height) == (ENLARGED * WINDOW_WIDTH, ENLARGED * WINDOW_HEIGHT),
              "the window enlarged is %dx%d" % (shot.width, shot.height))
        front = [v for v in run.vertices if v[2] == max(z for _, _, z in run.vertices)]
        shown = [len(connected_parts({p for p in resting_pixels(front, die, ENLARGED, FACE_INSET)
                                      if max(shot.rgb(*p)) < DARK_LEVEL})) for die in range(6)]
        check(shown == said, "the dice show %s pips, standard error says %s" % (shown, said))

        resize(run, WINDOW_WIDTH, WINDOW_HEIGHT)
        run_tool(["xdotool", "key", "--window", run.window, "space"])
        again = account + run.dump + "".join(path_lines()).encode()
        run_to_rest(run.snapshot, run.ended, again, start=None, pause=run.wait_more)
        errors.seek(0)
        told = errors.read()
        check(told == SAID + SAID_AGAIN, "standard error differs after space "
              + first_difference(told, SAID + SAID_AGAIN))
        return "the dice show %s pips" % " ".join(map(str, shown))


def case_no_texture(dice, asset):
    path = ["".join(path_lines()[:20]).encode(), "".join(path_lines()[20:]).encode()]
    with tempfile.TemporaryFile() as errors, DiceRun(
            dice, asset, args=["--roll", "3", "--seed", "1"], stderr=errors) as run:
        run.find_window()
        early = run.dump + b"die.bmp: No such file or directory\n" + path[0]
        run.wait_output(so_far(early + path[1], len(early)), THROW_TIMEOUT, "20 path lines")
        white, other = run.screenshot().classify()
        check(white and not other, "%d white pixels, and %d neither black nor white: the dice "
              "are not white" % (len(white), len(other)))
        errors.seek(0)
        told = errors.read()
        check(told == b"dice: rolled 3 dice: 3 + 1 + 1 = 5 (seed 1)\n", "standard error: %r" % told)


if __name__ == "__main__":
    run_case({"faces": case_faces, "no_texture": case_no_texture})

#!/usr/bin/env python3
"""The die with its pips: the program built with -DDICE_DIE_TEXTURE=die.bmp, run beside
cube.3ds and die.bmp. At rest the die has the unrotated die's outline with pixels well
darker than the atlas's faces inside it, where the plain build's die is white
throughout; the account is the plain build's; and after several left clicks the
account has only been repeated and the picture is the same, pixel for pixel.

Usage: pips_test.py rest DICE CUBE_3DS, on an X display (see tools/with_xvfb.sh); die.bmp is
taken from beside CUBE_3DS.
"""

import os
import time

from dice_run import (
    CAMERA_Z,
    DARK_LEVEL,
    MIN_DARK_PIXELS,
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    START_TIMEOUT,
    project,
    run_case,
    split_path_lines,
)
from run_to_rest import check, show
from throw_test import (
    DIE_Z,
    OUTLINE_SLACK,
    PATH_STEPS,
    REST_X,
    REST_Y,
    THROW_TIMEOUT,
    convex_hull,
    pixels_inside,
)

CLICKS = 5
REST_PAUSE = 0.5  # the resting die is taken a moment after the last path step


def case_rest(dice, asset):
    texture = os.path.join(os.path.dirname(asset), "die.bmp")
    with DiceRun(dice, asset, [texture]) as run:
        run.find_window()

        def rested(out):
            return len(split_path_lines(out)[1]) >= PATH_STEPS

        run.wait_output(rested, THROW_TIMEOUT, "%d path lines" % PATH_STEPS)
        time.sleep(REST_PAUSE)
        shot = run.screenshot()
        rest, lines = split_path_lines(run.snapshot())
        check(rest == run.dump, "besides the path lines, output is not the plain account: %s"
              % show(rest))
        check(len(lines) == PATH_STEPS, "%d path lines, expected %d" % (len(lines), PATH_STEPS))

        check((shot.width, shot.height) == (WINDOW_WIDTH, WINDOW_HEIGHT),
              "screenshot is %dx%d" % (shot.width, shot.height))
        lit = {(x, y) for y in range(shot.height) for x in range(shot.width) if any(shot.rgb(x, y))}
        corners = [project((REST_X + x, REST_Y + y, CAMERA_Z + DIE_Z + z))
                   for x, y, z in run.vertices]
        outline = pixels_inside(convex_hull(corners))
        check(len(lit ^ outline) <= OUTLINE_SLACK * len(outline),
              "what is drawn differs from the resting die's outline in %d of %d pixels"
              % (len(lit ^ outline), len(outline)))
        dark = [p for p in lit & outline if max(shot.rgb(*p)) < DARK_LEVEL]
        check(len(dark) >= MIN_DARK_PIXELS,
              "only %d pixels inside the die are darker than %d: no pips"
              % (len(dark), DARK_LEVEL))

        for _ in range(CLICKS):
            run.left_click(WINDOW_WIDTH // 2, WINDOW_HEIGHT // 2)
        want = run.dump * (1 + CLICKS)

        def accounts_done(out):
            return len(split_path_lines(out)[0]) >= len(want)

        run.wait_output(accounts_done, START_TIMEOUT, "the account %d times" % (1 + CLICKS))
        time.sleep(REST_PAUSE)
        rest = split_path_lines(run.snapshot())[0]
        check(rest == want, "after %d clicks, output without the path lines is %d bytes, "
              "expected the %d-byte account %d times; it ends %s"
              % (CLICKS, len(rest), len(run.dump), 1 + CLICKS, show(rest)))
        again = run.screenshot()
        changed = len(again.differing(shot))
        check(changed == 0, "after %d clicks, %d pixels differ from the picture before them"
              % (CLICKS, changed))


if __name__ == "__main__":
    run_case({"rest": case_rest})

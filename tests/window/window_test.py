#!/usr/bin/env python3
"""The program in a real window: title, size and place, the start-up account, the picture,
and the left click that reads the mesh again.

Usage: window_test.py CASE DICE CUBE_3DS, on an X display (see tools/with_xvfb.sh).
"""

import math
import time

from dice_run import (
    CAMERA_Z,
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    START_TIMEOUT,
    bounding_box,
    check_path_line_forms,
    pixels_per_unit_at,
    project,
    run_case,
    split_path_lines,
    white_shape,
)
from run_to_rest import check, first_difference, show

DIE_Z = -360.0  # the throw's depth, beyond the camera offset
EXTRA_OUTPUT_GRACE = 0.5  # how long a stray second account gets to show after the expected one


def starts_with_dump(run):
    return lambda out: len(out) >= len(run.dump)


def case_window_and_dump(dice, asset):
    with DiceRun(dice, asset) as run:
        run.find_window()
        size = run.window_size()
        check(size == (WINDOW_WIDTH, WINDOW_HEIGHT), "window is %dx%d, not 640x480" % size)
        place = run.window_position()
        check(place == (0, 0), "window is at %d, %d, not in the screen's corner" % place)
        out = run.wait_output(starts_with_dump(run), START_TIMEOUT, "complete account")
        first = out[: len(run.dump)]
        check(first == run.dump, "account differs " + first_difference(first, run.dump))


def die_half_size(run):
    return max(abs(c) for vertex in run.vertices for c in vertex)


def case_white_die(dice, asset):
    with DiceRun(dice, asset) as run:
        run.find_window()
        run.wait_output(starts_with_dump(run), START_TIMEOUT, "complete account")
        # The first frames may not be up yet: shoot until something shows.
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            before = split_path_lines(run.snapshot()[len(run.dump) :])[1]
            shot = run.screenshot()
            after = split_path_lines(run.snapshot()[len(run.dump) :])[1]
            if any(shot.pixels) or time.monotonic() > deadline:
                break
        white = white_shape(shot)

        # Where the die can be: on the throw's path, between the step before the last
        # one printed before the shot (its frame may not be on screen yet) and the last
        # one printed by its end; with no throw, straight ahead. Whatever its tumble,
        # it stays inside its bounding sphere.
        half = die_half_size(run)
        radius = half * math.sqrt(3)
        if after:
            depth = CAMERA_Z + DIE_Z
            places = [(float(x), float(y)) for _, x, y in after[max(len(before) - 2, 0) :]]
        else:
            depth = CAMERA_Z
            places = [(0.0, 0.0)]
        reach = [
            project((x + dx, y + dy, depth + dz))
            for x, y in places
            for dx in (-radius, radius)
            for dy in (-radius, radius)
            for dz in (-radius, radius)
        ]
        left, top, right, bottom = bounding_box(white)
        low_x, low_y, high_x, high_y = bounding_box([(math.floor(x), math.floor(y))
                                                      for x, y in reach])
        check(low_x <= left and right <= high_x + 1 and low_y <= top and bottom <= high_y + 1,
              "die drawn in (%d, %d)-(%d, %d), outside (%d, %d)-(%d, %d) where the path puts it"
              % (left, top, right, bottom, low_x, low_y, high_x + 1, high_y + 1))

        # A cube's outline is at least one side across, seen from its farthest point,
        # and as a convex shape it covers at least half of its bounding box.
        smallest = 2 * half * pixels_per_unit_at(-depth + radius) - 1
        width, height = right - left + 1, bottom - top + 1
        for name, extent in (("wide", width), ("high", height)):
            check(extent >= smallest, "die is %d px %s, expected at least %.0f"
                  % (extent, name, smallest))
        check(len(white) >= 0.45 * width * height,
              "die covers only %d of its %dx%d box" % (len(white), width, height))


def case_left_click(dice, asset):
    with DiceRun(dice, asset) as run:
        run.find_window()
        run.wait_output(starts_with_dump(run), START_TIMEOUT, "complete account")
        run.left_click(WINDOW_WIDTH // 2, WINDOW_HEIGHT // 2)

        def account_again(out):
            return len(split_path_lines(out[len(run.dump) :])[0]) >= len(run.dump)

        run.wait_output(account_again, START_TIMEOUT, "second account after the click")
        # Anything the click printed beyond one account gets a moment to show up.
        time.sleep(EXTRA_OUTPUT_GRACE)
        out = run.snapshot()
        rest, lines = split_path_lines(out)
        check_path_line_forms(lines)
        check(rest == run.dump + run.dump,
              "after the click, output without the path lines is %d bytes, expected the %d-byte "
              "account twice; it ends %s" % (len(rest), len(run.dump), show(rest)))


if __name__ == "__main__":
    run_case({
        "window_and_dump": case_window_and_dump,
        "white_die": case_white_die,
        "left_click": case_left_click,
    })

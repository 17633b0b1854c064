#!/usr/bin/env python3
"""The program in a real window: title and size, the start-up account, the picture,
and the left click that reads the mesh again.

Usage: window_test.py CASE DICE CUBE_3DS, on an X display (see with_xvfb.sh).
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
    check,
    check_path_line_forms,
    pixels_per_unit_at,
    project,
    run_case,
    show,
    split_path_lines,
    white_shape,
)

DIE_Z = -360.0  # the throw's depth, beyond the camera offset
CENTRE_SLACK_PX = 5  # perspective and tumbling move the blob's centre off the die's own
EXTRA_OUTPUT_GRACE = 0.5  # how long a stray second account gets to show after the expected one


def starts_with_dump(run):
    return lambda out: len(out) >= len(run.dump)


def case_window_and_dump(dice, asset):
    with DiceRun(dice, asset) as run:
        run.find_window()
        size = run.window_size()
        check(size == (WINDOW_WIDTH, WINDOW_HEIGHT), "window is %dx%d, not 640x480" % size)
        out = run.wait_output(starts_with_dump(run), START_TIMEOUT, "complete account")
        first = out[: len(run.dump)]
        if first != run.dump:
            at = next(i for i, (a, b) in enumerate(zip(first, run.dump)) if a != b)
            line = run.dump.count(b"\n", 0, at) + 1
            check(False, "account differs at byte %d (line %d): expected %s, got %s"
                  % (at, line, show(run.dump[: at + 40], 80), show(first[: at + 40], 80)))


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

        # Where: on the throw's path, between the positions printed just before and
        # just after the shot (the frame on screen may lag one step); with no throw,
        # straight ahead.
        if before or after:
            depth = CAMERA_Z + DIE_Z
            seen = (before or after)[-2:] + after[-1:]
            ends = [project((float(x), float(y), depth)) for _, x, y in seen]
        else:
            depth = CAMERA_Z
            ends = [project((0.0, 0.0, depth))]
        centre = (
            sum(x + 0.5 for x, _ in white) / len(white),
            sum(y + 0.5 for _, y in white) / len(white),
        )
        for axis in (0, 1):
            low = min(e[axis] for e in ends) - CENTRE_SLACK_PX
            high = max(e[axis] for e in ends) + CENTRE_SLACK_PX
            check(low <= centre[axis] <= high,
                  "die drawn around (%.1f, %.1f), expected near %s" % (centre + (ends,)))

        # How big: a cube's outline is at least one side across and at most its
        # diagonal, seen from the die's farthest and nearest points.
        half = die_half_size(run)
        diagonal = 2 * half * math.sqrt(3)
        smallest = 2 * half * pixels_per_unit_at(-depth + diagonal / 2) - 1
        largest = diagonal * pixels_per_unit_at(-depth - diagonal / 2) + 1
        left, top, right, bottom = bounding_box(white)
        width, height = right - left + 1, bottom - top + 1
        for name, extent in (("wide", width), ("high", height)):
            check(smallest <= extent <= largest, "die is %d px %s, expected %.0f to %.0f"
                  % (extent, name, smallest, largest))
        # A convex outline covers at least half of its bounding box.
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

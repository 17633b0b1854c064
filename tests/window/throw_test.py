#!/usr/bin/env python3
"""The whole throw in a real window: the program runs until the die rests, the path
lines carry the figures the throw is known by, nothing moves or prints once the die
lies still, and the picture shows it unrotated at the lower right, inside the window.

Usage: throw_test.py rest DICE CUBE_3DS, on an X display (see tools/with_xvfb.sh).
"""

from dice_run import (
    CAMERA_Z,
    FIRST_SEGMENT_STEPS,
    PATH_LINE,
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    START_TIMEOUT,
    bounding_box,
    check_path_line_forms,
    project,
    run_case,
    split_path_lines,
    white_shape,
)
from run_to_rest import check, keeps_still, show

PATH_STEPS = 291
REST_X, REST_Y, DIE_Z = 339.0, -240.75, -360.0

# Path lines fixed by the throw's own figures: the first two, the 40th, and the first
# and last of each of the five segments, as (step, x, y).
KNOWN_STEPS = [
    (1, -316.0, "-0"), (2, -312.0, -3.0), (40, -160.0, -117.0), (82, 8.0, -243.0),
    (83, 11.0, -234.0), (110, 92.0, -173.25),
    (111, 94.0, -174.75), (199, 270.0, -240.75),
    (200, 271.0, -240.0), (245, 316.0, -206.25),
    (246, 316.5, -207.0), (291, REST_X, REST_Y),
]

# 14,501 frames; software rendering on a busy machine can be several times slower
# than usual, and this only stops a stuck run from hanging the suite.
THROW_TIMEOUT = 120.0
OUTLINE_SLACK = 0.02  # share of the outline's pixels allowed to differ, for edge rounding


def expected_line(step, x, y):
    space = " " if step > FIRST_SEGMENT_STEPS else ""
    y_text = "-0.000000" if y == "-0" else "%f" % y
    return ("\n%s%f\t%s" % (space, x, y_text)).encode()


def convex_hull(points):
    """Andrew's monotone chain; counter-clockwise in a y-down frame is clockwise on screen."""
    points = sorted(set(points))

    def half(sequence):
        chain = []
        for p in sequence:
            while len(chain) >= 2 and cross(chain[-2], chain[-1], p) <= 0:
                chain.pop()
            chain.append(p)
        return chain[:-1]

    return half(points) + half(reversed(points))


def cross(o, a, b):
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])


def pixels_inside(hull):
    """Pixels whose centre lies inside the convex outline: what GL fills."""
    left, top, right, bottom = bounding_box([(int(x), int(y)) for x, y in hull])
    inside = set()
    for py in range(top, bottom + 1):
        for px in range(left, right + 1):
            centre = (px + 0.5, py + 0.5)
            if all(cross(hull[i - 1], hull[i], centre) >= 0 for i in range(len(hull))):
                inside.add((px, py))
    return inside


def case_rest(dice, asset):
    with DiceRun(dice, asset) as run:
        run.find_window()
        run.wait_output(lambda out: len(out) >= len(run.dump), START_TIMEOUT, "complete account")

        # Known lines are checked as they come, so a wrong path fails at once
        # instead of at the deadline.
        def all_steps_printed(out):
            printed = [m.group(0) for m in PATH_LINE.finditer(out[len(run.dump) :])]
            check_known_steps(printed)
            return len(printed) >= PATH_STEPS

        out = run.wait_output(all_steps_printed, THROW_TIMEOUT, "%d path lines" % PATH_STEPS)
        keeps_still(run.snapshot, out, "after the die came to rest")
        check(run.ended() is None, "%s at rest" % run.ended())
        shot = run.screenshot()

        check(out[: len(run.dump)] == run.dump, "output does not begin with the asset's account")
        tail = out[len(run.dump) :]
        rest, lines = split_path_lines(tail)
        check(rest == b"", "besides path lines, the throw printed %s" % show(rest))
        check(len(lines) == PATH_STEPS, "%d path lines, expected %d" % (len(lines), PATH_STEPS))
        check_path_line_forms(lines)
        check_known_steps([m.group(0) for m in PATH_LINE.finditer(tail)])

        check_resting_picture(shot, run.vertices)


def check_known_steps(printed):
    for step, x, y in KNOWN_STEPS:
        if step <= len(printed):
            want = expected_line(step, x, y)
            check(printed[step - 1] == want,
                  "path line %d is %r, expected %r" % (step, printed[step - 1], want))


def check_resting_picture(shot, vertices):
    white = white_shape(shot)
    left, top, right, bottom = bounding_box(white)
    check(left > 0 and top > 0 and right < WINDOW_WIDTH - 1 and bottom < WINDOW_HEIGHT - 1,
          "die touches the window's edge: box (%d, %d)-(%d, %d)" % (left, top, right, bottom))
    check(left >= WINDOW_WIDTH // 2 and top >= WINDOW_HEIGHT // 2,
          "die is not at the lower right: box (%d, %d)-(%d, %d)" % (left, top, right, bottom))

    # Unrotated, the die's corners project to a known outline: the front face with the
    # sides that face the middle of the view. Any leftover tumble would change it.
    corners = [project((REST_X + x, REST_Y + y, CAMERA_Z + DIE_Z + z)) for x, y, z in vertices]
    expected = pixels_inside(convex_hull(corners))
    differ = white ^ expected
    check(len(differ) <= OUTLINE_SLACK * len(expected),
          "resting die's outline differs from the unrotated die's in %d of %d pixels: "
          "box %s, expected %s"
          % (len(differ), len(expected), (left, top, right, bottom), bounding_box(expected)))


if __name__ == "__main__":
    run_case({"rest": case_rest})

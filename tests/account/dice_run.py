"""One run of the real program on the current X display, for the real-window tests and
the platform checks.

The program starts in a fresh folder holding only a copy of the die's mesh (and any
other files a test names); its standard output is read from the pipe whenever a test
looks, so a test can wait for what it expects with a deadline instead of sleeping.
Also finds the window, takes screenshots and clicks, with the X tools the tests
install (xdotool, xwininfo, ImageMagick's import).

A check that fails raises TestFailure with what was seen; run_case turns that into
a message and exit status 1.
"""

import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from dump_3ds import read_account
from run_to_rest import Program, TestFailure, check, run_to_rest, verdict, watch

WINDOW_TITLE = "3d DICE model"
WINDOW_WIDTH = 640
WINDOW_HEIGHT = 480
FIELD_OF_VIEW_DEG = 45.0
CAMERA_Z = -300.0

# A path line: its own newline first, segments 2 to 5 put a space after it.
PATH_LINE = re.compile(rb"\n( ?)(-?[0-9]+\.[0-9]{6})\t(-?[0-9]+\.[0-9]{6})")
FIRST_SEGMENT_STEPS = 82
# A pip's pixels: brighter than any of them, darker than the atlas's face colour
# (245, 245, 240) and its filtered edges. Measured at rest on Mesa's software
# renderer: 25 pixels.
DARK_LEVEL = 160
MIN_DARK_PIXELS = 10

# Upper bounds on waiting, only so a broken program fails instead of hanging.
START_TIMEOUT = 15.0
TOOL_TIMEOUT = 60.0
SEARCH_TRIES = 25  # walks of the window tree, when windows vanish under one


class DiceRun(Program):
    def __init__(self, dice_path, asset_path, other_files=(), launcher=(), folder=None, args=(),
                 stderr=None):
        with open(asset_path, "rb") as asset:
            asset_bytes = asset.read()
        self.dump, self.vertices = read_account(asset_bytes)
        # folder: a folder as a user has it (an unpacked package), run in and left as is.
        self.own_folder = folder is None
        self.folder = tempfile.mkdtemp(prefix="dice_window_") if self.own_folder else folder
        if self.own_folder:
            with open(os.path.join(self.folder, "cube.3ds"), "wb") as copy:
                copy.write(asset_bytes)
            for path in other_files:
                shutil.copy(path, self.folder)
        # launcher: what runs the program, if not the system itself (wine for dice.exe).
        super().__init__([*launcher, dice_path, *args], "dice", cwd=self.folder, stderr=stderr)
        self.window = None

    def stop(self):
        super().stop()
        if self.own_folder:
            shutil.rmtree(self.folder, ignore_errors=True)

    def wait_output(self, ready, timeout, what):
        """Waits until ready(output) holds; fails if the program exits or time runs out."""
        return watch(self.snapshot, self.ended, ready, timeout, what, pause=self.wait_more)

    def find_window(self):
        """The one window with the program's title; fails on none or several."""
        check(search_windows(sync=True), "no window titled %r" % WINDOW_TITLE)
        ids = search_windows()
        check(len(ids) == 1, "expected one window titled %r, found %d" % (WINDOW_TITLE, len(ids)))
        self.window = ids[0]
        return self.window

    def window_size(self):
        width, height = self.window_info("Width", "Height")
        return width, height

    def window_position(self):
        """The window's upper-left corner on the screen (no window manager moves it)."""
        x, y = self.window_info("Absolute upper-left X", "Absolute upper-left Y")
        return x, y

    def window_info(self, *fields):
        """Whole-number fields of xwininfo's report on the window, in the order asked."""
        info = run_tool(["xwininfo", "-id", self.window])
        found = [re.search(r"^\s*%s:\s*(-?\d+)$" % field, info, re.M) for field in fields]
        check(all(found), "xwininfo gave no %s:\n%s" % (" or ".join(fields), info))
        return [int(match.group(1)) for match in found]

    def screenshot(self):
        ppm = run_tool(["import", "-window", self.window, "-depth", "8", "ppm:-"], binary=True)
        return Image.from_ppm(ppm)

    def left_click(self, x, y):
        run_tool(["xdotool", "mousemove", "--window", self.window, str(x), str(y), "click", "1"])


def window_to_rest(dice, asset, expected, launcher=(), crlf=False, other_files=(), folder=None):
    """A DiceRun in a window until the die rests (run_to_rest), its output read with
    CR LF as LF when crlf: (output as written, the window at rest, its size)."""
    with DiceRun(dice, asset, other_files, launcher, folder) as run:
        run.find_window()
        size = run.window_size()
        read = (lambda: run.snapshot().replace(b"\r\n", b"\n")) if crlf else run.snapshot
        run_to_rest(read, run.ended, expected, pause=run.wait_more)
        return run.snapshot(), run.screenshot(), size


def search_windows(sync=False):
    """Ids of the windows with the program's title. A window that goes while xdotool
    walks the tree (wine makes and drops windows of its own as it starts) fails the
    walk with BadWindow; the walk is then made again."""
    name = ["--name", "^%s$" % WINDOW_TITLE]
    command = ["xdotool", "search"] + (["--sync"] if sync else []) + name
    for attempt in range(SEARCH_TRIES):
        try:
            return run_tool(command).split()
        except TestFailure as failure:
            if "BadWindow" not in str(failure) or attempt == SEARCH_TRIES - 1:
                raise
            time.sleep(0.2)


def run_tool(command, binary=False):
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TOOL_TIMEOUT)
    except FileNotFoundError:
        raise TestFailure("%s is not installed (tools/install_deps.sh installs it)" % command[0])
    except subprocess.TimeoutExpired:
        raise TestFailure("%s did not finish within %.0f s" % (" ".join(command), TOOL_TIMEOUT))
    check(done.returncode == 0, "%s failed (%d): %s"
          % (" ".join(command), done.returncode, done.stderr.decode(errors="replace")))
    return done.stdout if binary else done.stdout.decode()


def imagemagick_convert():
    """ImageMagick's convert by a name only ImageMagick has (a plain convert earlier on
    PATH may be another program): Debian's convert-imN.q16, N being 6 in Debian 12
    and 7 in Debian 13, else ImageMagick 7's magick. None if there is none."""
    names = ["convert-im%d.q16" % major for major in (7, 6)] + ["magick"]
    return next(filter(None, map(shutil.which, names)), None)


def split_path_lines(data):
    """Takes the path lines out of data: (what is left, [(has_space, x, y) ...])."""
    lines = [(m.group(1) == b" ", m.group(2).decode(), m.group(3).decode())
             for m in PATH_LINE.finditer(data)]
    return PATH_LINE.sub(b"", data), lines


def check_path_line_forms(lines):
    """Segment 1's lines have no space after the newline, every later one has."""
    for number, (has_space, x, y) in enumerate(lines, start=1):
        check(has_space == (number > FIRST_SEGMENT_STEPS), "path line %d (%s, %s) %s a space "
              "after its newline" % (number, x, y, "has" if has_space else "lacks"))


class Image:
    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self.pixels = pixels  # RGB bytes, rows from the top

    @staticmethod
    def from_ppm(data):
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        check(match, "import gave no binary PPM")
        width, height, maximum = (int(g) for g in match.groups())
        check(maximum == 255, "PPM with %d levels, not 255" % maximum)
        pixels = data[match.end() :]
        check(len(pixels) == width * height * 3, "PPM pixel data is cut short")
        return Image(width, height, pixels)

    @staticmethod
    def from_file(path):
        """Any picture ImageMagick reads."""
        convert = imagemagick_convert()
        check(convert, "ImageMagick's convert is not installed (Debian package imagemagick)")
        return Image.from_ppm(run_tool([convert, path, "-depth", "8", "ppm:-"], binary=True))

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return self.pixels[i : i + 3]

    def differing(self, other):
        """The (x, y) of the pixels that differ from those of a picture of the same size."""
        check((self.width, self.height) == (other.width, other.height), "pictures are %dx%d "
              "and %dx%d" % (self.width, self.height, other.width, other.height))
        return {(i // 3 % self.width, i // 3 // self.width) for i in range(0, len(self.pixels), 3)
                if self.pixels[i : i + 3] != other.pixels[i : i + 3]}

    def classify(self):
        """Sets of (x, y) for white and for neither black nor white pixels."""
        white, other = set(), set()
        for y in range(self.height):
            for x in range(self.width):
                r, g, b = self.rgb(x, y)
                if r == g == b == 0:
                    continue
                if min(r, g, b) >= 240:
                    white.add((x, y))
                else:
                    other.add((x, y))
        return white, other


def connected_parts(points):
    """8-connected components of a set of pixels, largest first."""
    left = set(points)
    parts = []
    while left:
        start = left.pop()
        part, todo = {start}, [start]
        while todo:
            x, y = todo.pop()
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    near = (x + dx, y + dy)
                    if near in left:
                        left.remove(near)
                        part.add(near)
                        todo.append(near)
        parts.append(part)
    return sorted(parts, key=len, reverse=True)


def white_shape(shot):
    """The white pixels, checked to be all there is on black and to form one shape."""
    check((shot.width, shot.height) == (WINDOW_WIDTH, WINDOW_HEIGHT),
          "screenshot is %dx%d" % (shot.width, shot.height))
    white, other = shot.classify()
    check(not other, "%d pixels are neither black nor white, e.g. %s"
          % (len(other), sorted(other)[:5]))
    check(white, "the window is black: no die drawn")
    parts = connected_parts(white)
    check(len(parts) == 1, "%d separate white shapes, of %s pixels"
          % (len(parts), [len(p) for p in parts]))
    return white


def bounding_box(points):
    xs = [x for x, _ in points]
    ys = [y for _, y in points]
    return min(xs), min(ys), max(xs), max(ys)


def pixels_per_unit_at(distance):
    """Screen pixels per model unit at a depth, for the program's 45 degree projection."""
    return (WINDOW_HEIGHT / 2) / (distance * math.tan(math.radians(FIELD_OF_VIEW_DEG / 2)))


def project(point):
    """Window pixel position (x right, y down) of an eye-space point in front of the camera."""
    x, y, z = point
    scale = pixels_per_unit_at(-z)
    return WINDOW_WIDTH / 2 + x * scale, WINDOW_HEIGHT / 2 - y * scale


def run_case(cases):
    """Runs cases[argv[1]](dice_path, asset_path); prints the verdict."""
    if len(sys.argv) != 4 or sys.argv[1] not in cases:
        print("usage: %s {%s} DICE CUBE_3DS" % (sys.argv[0], "|".join(cases)), file=sys.stderr)
        sys.exit(2)
    name, dice_path, asset_path = sys.argv[1:]
    verdict(name, lambda: cases[name](dice_path, asset_path))

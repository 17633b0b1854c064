#!/usr/bin/env python3
"""The browser build in headless chromium, against the Linux program: each page is
served on 127.0.0.1 and runs at the browser's own speed until the die rests.

The plain page:
- is titled "3d DICE model" and its canvas is 640 x 480;
- #account is the whole account byte for byte once the die rests, and nothing more
  arrives in the next 2 s; the frame rate is measured on the way there;
- the canvas at rest is the Linux window at rest but for at most MAX_EDGE_PIXELS;
- a left click appends exactly one more dump and the picture stays; a middle and a
  right click append nothing;
- the browser's console holds no error or warning but those in ALLOWED_CONSOLE.
The pips page: the same account, and at rest the pips (pixels inside the die much
darker than its white) where the Linux pips build shows them; its console likewise.
Without WebGL, the page says so in words and runs nothing.

Usage: web_check.py check PAGE_DIR PIPS_PAGE_DIR LINUX_DICE LINUX_PIPS_DICE CUBE_3DS
       web_check.py shoot PAGE_DIR CUBE_3DS PNG   (the page at rest, for docs/web.png)
on an X display for the Linux windows (tools/with_xvfb.sh), with Debian's chromium,
chromium-driver and python3-selenium: tools/web.sh check runs it so.
"""

import os
import re
import shutil
import signal
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.mouse_button import MouseButton

from dice_run import (
    PATH_LINE,
    WINDOW_HEIGHT,
    WINDOW_TITLE,
    WINDOW_WIDTH,
    Image,
    TestFailure,
    check,
    run_tool,
    show,
)
from dump_3ds import read_account
from pips_test import DARK_LEVEL, MIN_DARK_PIXELS
from throw_path import path_lines
from wine_check import first_difference, run_to_rest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "platform", "web"))
from serve import start_server  # noqa: E402

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = [
    "--headless=new",
    # WebGL on the CPU through ANGLE's SwiftShader: there is no GPU here.
    "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader",
    "--no-sandbox",  # CI runs as root, where chromium's sandbox will not start
    # The network is closed: nothing to fetch, update or sign in to.
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--no-first-run",
    "--disable-quic",
    "--window-size=800,1000",  # the whole canvas in view, for its screenshot
]
# Each console line a run may show, with why; any other warning or error fails.
ALLOWED_CONSOLE = [
    (r'"WARNING: using emscripten GL emulation\. This is a collection of limited '
     r'workarounds, do not expect it to work\."$',
     "emscripten's legacy GL emulation, chosen for glBegin/glEnd, announces itself once"),
    (r'"WARNING: using emscripten GL immediate mode emulation\. This is very limited in '
     r'what it supports"$',
     "its immediate-mode part announces itself once too"),
]
NO_WEBGL_WORDS = ("This browser offers no WebGL, which the die is drawn with. Turn on WebGL "
                  "(hardware acceleration) in the browser's settings, or try another browser.")

FRAMES_PER_STEP = 50
TIMER_RATE = 250  # emscripten's GLUT runs the idle callback on a 4 ms timer
MAX_EDGE_PIXELS = 40
PIPS_REACH = 1  # a pip's dark pixel may lie this far from one of the Linux build's
START_TIMEOUT = 60.0
THROW_TIMEOUT = 600.0  # about 85 s at the browser's 170 frames/s; only a stuck page waits
STALL_TIMEOUT = 60.0  # a path line comes every 0.3 s or so while the die moves
STILL_WATCH = 2.0
POLL = 0.2
SHOT_WIDTH = 720  # the page's picture: the canvas, its margins and the console


class PageRun:
    """A built page served on 127.0.0.1 and opened in a fresh headless chromium."""

    def __init__(self, folder, extra_flags=()):
        self.server = start_server(folder)
        self.profile = tempfile.mkdtemp(prefix="chromium_profile_")
        self.driver = None
        self.console = []
        try:
            options = webdriver.ChromeOptions()
            options.binary_location = CHROMIUM
            for flag in CHROMIUM_FLAGS + list(extra_flags):
                options.add_argument(flag)
            options.add_argument("--user-data-dir=" + self.profile)
            options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
            # Chromium's crash-report folder goes where its settings would: in the profile.
            service = Service(CHROMEDRIVER, env={**os.environ, "XDG_CONFIG_HOME": self.profile})
            self.driver = webdriver.Chrome(service=service, options=options)
            self.driver.get(self.server.page_address)
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.driver is not None:
            self.driver.quit()
        self.server.shutdown()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def run(self, script):
        return self.driver.execute_script(script)

    def account(self):
        return self.run("return document.getElementById('account').textContent").encode()

    def failure(self):
        return self.run("var f = document.getElementById('failure');"
                        "return f.hidden ? null : f.textContent")

    def canvas(self):
        return self.driver.find_element("id", "canvas")

    def canvas_shot(self, folder):
        path = os.path.join(folder, "canvas.png")
        with open(path, "wb") as png:
            png.write(self.canvas().screenshot_as_png)
        return Image.from_file(path)

    def read_console(self):
        """Everything logged since the last call, kept in .console as (level, message)."""
        self.console += [(entry["level"], entry["message"])
                         for entry in self.driver.get_log("browser")]

    def wait_account(self, want, timeout, what, on_poll=None, length=None):
        """Waits until #account holds want (its first `length` bytes, if given), failing
        as soon as it leaves it."""
        deadline = time.monotonic() + timeout
        grown, size = time.monotonic(), -1
        while True:
            got = self.account()
            if on_poll:
                on_poll(got)
            check(got == want[: len(got)], "#account differs " + first_difference(got, want))
            if len(got) >= (length or len(want)):
                return got
            check(self.failure() is None, "the page shows a failure: %r" % self.failure())
            now = time.monotonic()
            if len(got) != size:
                grown, size = now, len(got)
            check(now < deadline and now - grown < STALL_TIMEOUT,
                  "no %s: #account has not grown for %.0f s, %.0f s in; it ends %s"
                  % (what, now - grown, timeout - (deadline - now), show(got)))
            time.sleep(POLL)

    def wait_still(self, got, when):
        time.sleep(STILL_WATCH)
        later = self.account()
        check(later == got, "#account went on %s: %s" % (when, show(later[len(got) - 40 :])))


class FrameClock:
    """Frames per second from the path lines' arrival: a step every 50 frames."""

    def __init__(self, dump_length):
        self.dump_length = dump_length
        self.first = self.last = None

    def __call__(self, got):
        steps = len(PATH_LINE.findall(got[self.dump_length :]))
        if steps:
            self.last = (time.monotonic(), steps)
            self.first = self.first or self.last

    def rate(self):
        (start, first), (end, last) = self.first, self.last
        check(last > first and end > start, "too few path steps seen to time the frames")
        return (last - first) * FRAMES_PER_STEP / (end - start)


def check_console(run, name):
    run.read_console()
    seen = {}
    for level, message in run.console:
        if level not in ("WARNING", "SEVERE"):
            continue
        reason = next((why for pattern, why in ALLOWED_CONSOLE if re.search(pattern, message)),
                      None)
        check(reason is not None, "%s: console %s not allowed: %s" % (name, level, message))
        seen[reason] = seen.get(reason, 0) + 1
    for reason, count in seen.items():
        print("%s: console warning allowed (%d): %s" % (name, count, reason))


def differing_pixels(one, other):
    check((one.width, one.height) == (other.width, other.height),
          "pictures are %dx%d and %dx%d" % (one.width, one.height, other.width, other.height))
    return {(i // 3 % one.width, i // 3 // one.width) for i in range(0, len(one.pixels), 3)
            if one.pixels[i : i + 3] != other.pixels[i : i + 3]}


def open_page(folder, name):
    run = PageRun(folder)
    check(run.driver.title == WINDOW_TITLE, "%s is titled %r" % (name, run.driver.title))
    size = run.run("var c = document.getElementById('canvas');"
                   "return [c.width, c.height, c.clientWidth, c.clientHeight]")
    check(size == [WINDOW_WIDTH, WINDOW_HEIGHT] * 2,
          "%s's canvas is %dx%d, shown %dx%d" % (name, *size))
    return run


def run_page_to_rest(run, expected, dump_length, folder):
    """The whole account, then 2 s of nothing: (frames per second, canvas at rest)."""
    clock = FrameClock(dump_length)
    run.wait_account(expected, START_TIMEOUT, "output", length=1)
    got = run.wait_account(expected, THROW_TIMEOUT, "whole account", clock)
    run.wait_still(got, "after the die came to rest")
    return clock.rate(), run.canvas_shot(folder)


def press(run, button):
    """One press and release of a mouse button on the canvas's centre."""
    if button == MouseButton.LEFT:
        ActionChains(run.driver).move_to_element(run.canvas()).click().perform()
    elif button == MouseButton.RIGHT:
        ActionChains(run.driver).move_to_element(run.canvas()).context_click().perform()
    else:
        actions = ActionBuilder(run.driver)
        actions.pointer_action.move_to(run.canvas()).pointer_down(button).pointer_up(button)
        actions.perform()


def check_plain(page, linux_dice, asset, expected, dump, folder):
    _, linux_shot, _ = run_to_rest(linux_dice, asset, expected)
    with open_page(page, "the page") as run:
        rate, shot = run_page_to_rest(run, expected, len(dump), folder)
        load = os.getloadavg()
        print("the page: title, 640x480 canvas, the whole %d-byte account, still for %.0f s"
              % (len(expected), STILL_WATCH))
        print("frame rate in headless chromium: %.0f frames/s, %.2f of the 4 ms timer's %d/s "
              "(load average %.2f %.2f %.2f)" % (rate, rate / TIMER_RATE, TIMER_RATE, *load))
        differ = differing_pixels(shot, linux_shot)
        check(len(differ) <= MAX_EDGE_PIXELS, "the die at rest differs from the Linux window in "
              "%d of %d pixels, e.g. %s" % (len(differ), shot.width * shot.height,
                                            sorted(differ)[:5]))
        print("the die at rest: %d of %d pixels differ from the Linux window's"
              % (len(differ), shot.width * shot.height))

        # Every press is seen to reach the canvas, so that nothing appended means
        # the program ignored it.
        run.run("window.checkPresses = [];"
                "document.getElementById('canvas').addEventListener('mousedown',"
                " function (event) { window.checkPresses.push(event.button); });")
        press(run, MouseButton.LEFT)
        again = expected + dump
        got = run.wait_account(again, START_TIMEOUT, "second dump after a left click")
        run.wait_still(got, "after the left click's dump")
        moved = differing_pixels(run.canvas_shot(folder), shot)
        check(not moved, "after a left click %d pixels differ from the die at rest" % len(moved))
        for button in (MouseButton.MIDDLE, MouseButton.RIGHT):
            press(run, button)
            run.wait_still(got, "after pressing mouse button %d" % button)
        presses = run.run("return window.checkPresses")
        check(presses == [0, 1, 2], "the canvas saw mouse buttons %s, not 0, 1, 2" % presses)
        print("left click: one more dump, the die still; middle and right: nothing")
        check_console(run, "the page")
    return rate


def check_pips(page, linux_dice, asset, expected, dump, folder):
    texture = os.path.join(os.path.dirname(asset), "die.bmp")
    _, linux_shot, _ = run_to_rest(linux_dice, asset, expected, other_files=[texture])
    with open_page(page, "the pips page") as run:
        _, shot = run_page_to_rest(run, expected, len(dump), folder)
        check_console(run, "the pips page")
    print("the pips page: the whole account, still for %.0f s" % STILL_WATCH)

    def dark(image):
        return {(x, y) for y in range(image.height) for x in range(image.width)
                if any(image.rgb(x, y)) and max(image.rgb(x, y)) < DARK_LEVEL}

    def near(point, others):
        x, y = point
        return any((x + dx, y + dy) in others for dx in range(-PIPS_REACH, PIPS_REACH + 1)
                   for dy in range(-PIPS_REACH, PIPS_REACH + 1))

    web_dark, linux_dark = dark(shot), dark(linux_shot)
    check(len(web_dark) >= MIN_DARK_PIXELS, "only %d dark pixels on the die: no pips"
          % len(web_dark))
    strays = [p for p in web_dark if not near(p, linux_dark)]
    missing = [p for p in linux_dark if not near(p, web_dark)]
    check(not strays and not missing, "pips differ from the Linux build's: %d dark pixels where "
          "it has none, e.g. %s; %d of its own missing, e.g. %s"
          % (len(strays), sorted(strays)[:5], len(missing), sorted(missing)[:5]))
    print("the pips at rest: %d dark pixels, each within %d pixel of the Linux build's %d; "
          "%d of %d pixels differ in all" % (len(web_dark), PIPS_REACH, len(linux_dark),
                                             len(differing_pixels(shot, linux_shot)),
                                             shot.width * shot.height))


def check_no_webgl(page):
    with PageRun(page, ["--disable-webgl"]) as run:
        deadline = time.monotonic() + START_TIMEOUT
        while run.failure() is None:
            check(time.monotonic() < deadline, "without WebGL the page shows no failure")
            time.sleep(POLL)
        check(run.failure() == NO_WEBGL_WORDS, "without WebGL the page says %r" % run.failure())
        time.sleep(STILL_WATCH)
        check(run.account() == b"", "without WebGL the program ran: " + show(run.account()))
        check_console(run, "the page without WebGL")
    print("without WebGL: the page says so, and the program does not start")


def check_all(page, pips_page, linux_dice, linux_pips_dice, asset):
    with open(asset, "rb") as model:
        dump = read_account(model.read())[0]
    expected = dump + "".join(path_lines()).encode()
    with tempfile.TemporaryDirectory() as folder:
        check_plain(page, linux_dice, asset, expected, dump, folder)
        check_pips(pips_page, linux_pips_dice, asset, expected, dump, folder)
    check_no_webgl(page)


def shoot(page, asset, png):
    """The page at rest in chromium's viewport, its console scrolled to the end."""
    with open(asset, "rb") as model:
        dump = read_account(model.read())[0]
    expected = dump + "".join(path_lines()).encode()
    with PageRun(page) as run:
        run.wait_account(expected, THROW_TIMEOUT, "whole account")
        height = run.run("return document.documentElement.scrollHeight")
        run.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": SHOT_WIDTH, "height": height, "deviceScaleFactor": 1, "mobile": False})
        time.sleep(1.0)  # the console's scroll to its end happens on a next frame
        run.driver.save_screenshot(png)


def main():
    # Stopped from outside, the runs still end their browsers and programs.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        if len(sys.argv) == 7 and sys.argv[1] == "check":
            check_all(*sys.argv[2:])
        elif len(sys.argv) == 5 and sys.argv[1] == "shoot":
            shoot(*sys.argv[2:])
        else:
            sys.exit(__doc__.strip())
    except (TestFailure, WebDriverException) as failure:
        print("FAIL web_check: %s" % failure)
        sys.exit(1)
    print("PASS web_check")


if __name__ == "__main__":
    main()
